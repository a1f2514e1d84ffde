#include "devices/VendorCheck.h"

#include "devices/DeviceSeam.h"
#include "devices/VendorLibraries.h"

#include <windows.h>

#include <cstring>
#include <iterator>

namespace {

const int UltraStikOrdinals[] = {UltraStikCountOrdinal, UltraStikShutdownOrdinal,
                                 UltraStikLoadMapOrdinal};
const int PacDriveOrdinals[] = {PacDriveCountOrdinal, PacDriveDeviceTypeOrdinal,
                                ServoStikSet4WayOrdinal, ServoStikSet8WayOrdinal,
                                PacDriveShutdownOrdinal};

// What a faulty library's calls reach instead: no device, every call accepted.
int WINAPI NoDevice() {
    return 0;
}
int WINAPI NoDeviceType(int) {
    return 0;
}
int WINAPI IgnoreMap(int, const char*) {
    return 0;
}

// The machine a library beside us was built for, or 0 when it is no PE file.
WORD ImageMachine(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    IMAGE_DOS_HEADER dos = {};
    IMAGE_FILE_HEADER header = {};
    DWORD signature = 0;
    DWORD read = 0;
    const bool whole =
        ReadFile(file, &dos, sizeof dos, &read, nullptr) && read == sizeof dos &&
        dos.e_magic == IMAGE_DOS_SIGNATURE &&
        SetFilePointer(file, dos.e_lfanew, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
        ReadFile(file, &signature, sizeof signature, &read, nullptr) && read == sizeof signature &&
        signature == IMAGE_NT_SIGNATURE && ReadFile(file, &header, sizeof header, &read, nullptr) &&
        read == sizeof header;
    CloseHandle(file);
    return whole ? header.Machine : 0;
}

#ifdef _WIN64
constexpr WORD OtherBitnessMachine = IMAGE_FILE_MACHINE_I386;
constexpr const char OwnBitness[] = "a 64-bit";
#else
constexpr WORD OtherBitnessMachine = IMAGE_FILE_MACHINE_AMD64;
constexpr const char OwnBitness[] = "a 32-bit";
#endif

// Why a library would not load. The loader's error does not tell: Windows
// says ERROR_BAD_EXE_FORMAT for one of the other bitness and for any file
// that is no executable at all, and Wine may report another error for the
// first. The file beside the program, when there is one, is read to tell;
// one found elsewhere by the system's search is only said not to load.
VendorFault LoadFault(const char* besidePath, DWORD error) {
    if (GetFileAttributesA(besidePath) == INVALID_FILE_ATTRIBUTES) {
        return error == ERROR_MOD_NOT_FOUND ? VendorFault::Missing : VendorFault::Unloadable;
    }
    return ImageMachine(besidePath) == OtherBitnessMachine ? VendorFault::OtherBitness
                                                           : VendorFault::Unloadable;
}

void Append(char* tip, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(tip);
    if (used + 1 < size) {
        std::strncat(tip, text, size - used - 1);
    }
}

void DescribeFault(char* tip, std::size_t size, const char* file, VendorFault fault) {
    switch (fault) {
    case VendorFault::Missing:
        Append(tip, size, file);
        Append(tip, size, " missing beside Velmora.exe");
        break;
    case VendorFault::OtherBitness:
        Append(tip, size, file);
        Append(tip, size, " is not ");
        Append(tip, size, OwnBitness);
        Append(tip, size, " library");
        break;
    case VendorFault::Older:
        Append(tip, size, "an older ");
        Append(tip, size, file);
        Append(tip, size, " without a needed function");
        break;
    default:
        Append(tip, size, file);
        Append(tip, size, " does not load");
        break;
    }
}

} // namespace

const VendorLibrary UltraStikLibrary = {"UltraStik.dll", UltraStikOrdinals,
                                        static_cast<int>(std::size(UltraStikOrdinals))};
const VendorLibrary PacDriveLibrary = {"PacDrive.dll", PacDriveOrdinals,
                                       static_cast<int>(std::size(PacDriveOrdinals))};

VendorFault UltraStikFault = VendorFault::None;
VendorFault PacDriveFault = VendorFault::None;

VendorFault CheckVendorLibrary(const VendorLibrary& library, const char* folder) {
    char path[MAX_PATH] = {};
    const std::size_t folderLength = std::strlen(folder);
    const std::size_t fileLength = std::strlen(library.file);
    if (folderLength + fileLength < sizeof path) {
        std::memcpy(path, folder, folderLength);
        std::memcpy(path + folderLength, library.file, fileLength + 1);
    }
    // The one beside the program, else whatever the system's search finds,
    // as the delay-load helper's LoadLibrary by name would.
    const bool beside = path[0] != '\0' && GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    // No "cannot find" or "bad image" box from the system: a box would sit in
    // front of the game the cabinet runs, and the tip says it in its place.
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(beside ? path : library.file);
    const DWORD error = GetLastError();
    SetErrorMode(previousMode);
    if (module == nullptr) {
        return LoadFault(path, error);
    }
    for (int i = 0; i < library.ordinalCount; ++i) {
        if (GetProcAddress(module, MAKEINTRESOURCEA(library.ordinals[i])) == nullptr) {
            FreeLibrary(module);
            return VendorFault::Older;
        }
    }
    // Kept loaded: the delay-load helper's LoadLibrary by name then finds
    // this very module, wherever it came from.
    return VendorFault::None;
}

void CheckVendorLibraries(const char* folder) {
    UltraStikFault = CheckVendorLibrary(UltraStikLibrary, folder);
    if (UltraStikFault != VendorFault::None) {
        DeviceCalls.u360Count = NoDevice;
        DeviceCalls.u360Shutdown = NoDevice;
        DeviceCalls.u360LoadMap = IgnoreMap;
    }
    PacDriveFault = CheckVendorLibrary(PacDriveLibrary, folder);
    if (PacDriveFault != VendorFault::None) {
        DeviceCalls.pacDriveCount = NoDevice;
        DeviceCalls.pacDriveShutdown = NoDevice;
        DeviceCalls.pacDriveDeviceType = NoDeviceType;
        DeviceCalls.servo4Way = NoDevice;
        DeviceCalls.servo8Way = NoDevice;
    }
}

void DescribeVendorFaults(char* tip, std::size_t size) {
    if (size == 0) {
        return;
    }
    tip[0] = '\0';
    Append(tip, size, "Velmora");
    const char* separator = ": ";
    const struct {
        const char* file;
        VendorFault fault;
    } libraries[] = {{UltraStikLibrary.file, UltraStikFault},
                     {PacDriveLibrary.file, PacDriveFault}};
    for (const auto& library : libraries) {
        if (library.fault != VendorFault::None) {
            Append(tip, size, separator);
            DescribeFault(tip, size, library.file, library.fault);
            separator = "; ";
        }
    }
}
