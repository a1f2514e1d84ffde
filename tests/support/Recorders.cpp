#include "support/Recorders.h"

#include "devices/DeviceDetection.h"

#include "vendor-sim/JournalLine.h"

#include <cstdlib>
#include <string>

std::vector<std::string> VendorRecorder::calls;
int VendorRecorder::sticks = 0;
std::vector<int> VendorRecorder::pacDriveTypes;

namespace vendor {
using R = VendorRecorder;
int WINAPI U360Count() {
    R::calls.push_back(CountLine("UltraStik", 1, R::sticks));
    return R::sticks;
}
int WINAPI U360Shutdown() {
    R::calls.push_back(CallLine("UltraStik", 2));
    return 1;
}
int WINAPI U360LoadMap(int index, const char* name) {
    R::calls.push_back(LoadMapLine(index, name));
    return 1;
}
int WINAPI PacCount() {
    const int count = static_cast<int>(R::pacDriveTypes.size());
    R::calls.push_back(CountLine("PacDrive", 2, count));
    return count;
}
int WINAPI PacShutdown() {
    R::calls.push_back(CallLine("PacDrive", 3));
    return 1;
}
int WINAPI PacType(int index) {
    const int type = index >= 0 && index < static_cast<int>(R::pacDriveTypes.size())
                         ? R::pacDriveTypes[index]
                         : 0;
    R::calls.push_back(DeviceTypeLine(index, type));
    return type;
}
int WINAPI Servo4() {
    R::calls.push_back(CallLine("PacDrive", 29));
    return 1;
}
int WINAPI Servo8() {
    R::calls.push_back(CallLine("PacDrive", 30));
    return 1;
}
} // namespace vendor

VendorRecorder::VendorRecorder(int stickCount, std::vector<int> types) : saved(DeviceCalls) {
    calls.clear();
    sticks = stickCount;
    pacDriveTypes = std::move(types);
    DeviceCalls = {vendor::U360Count,   vendor::U360Shutdown, vendor::U360LoadMap, vendor::PacCount,
                   vendor::PacShutdown, vendor::PacType,      vendor::Servo4,      vendor::Servo8};
    // Counted, as startup does before any selection reaches a library.
    DetectDevices();
    calls.clear();
}

VendorRecorder::~VendorRecorder() {
    DeviceCalls = saved;
}

std::vector<ShellRecorder::Call> ShellRecorder::calls;
std::deque<BOOL> ShellRecorder::results;
std::vector<HWND> ShellRecorder::destroyedWindows;
DWORD ShellRecorder::version = 0x0A000006; // build in the high word, 6.0 in the low
DWORD ShellRecorder::platformId = VER_PLATFORM_WIN32_NT;
DWORD ShellRecorder::majorVersion = 6;

namespace shell {
using R = ShellRecorder;
BOOL WINAPI Notify(DWORD message, PNOTIFYICONDATAA record) {
    R::calls.push_back({message, *record});
    if (R::results.empty()) {
        return TRUE;
    }
    const BOOL result = R::results.front();
    R::results.pop_front();
    return result;
}
DWORD WINAPI Version() {
    return R::version;
}
BOOL WINAPI VersionEx(LPOSVERSIONINFOA info) {
    info->dwPlatformId = R::platformId;
    info->dwMajorVersion = R::majorVersion;
    return TRUE;
}
BOOL WINAPI Destroy(HWND window) {
    R::destroyedWindows.push_back(window);
    return DestroyWindow(window);
}
} // namespace shell

ShellRecorder::ShellRecorder() : saved(TrayShellCalls) {
    calls.clear();
    results.clear();
    destroyedWindows.clear();
    version = 0x0A000006;
    platformId = VER_PLATFORM_WIN32_NT;
    majorVersion = 6;
    TrayShellCalls = {shell::Notify, shell::Version, shell::VersionEx, shell::Destroy};
}

ShellRecorder::~ShellRecorder() {
    TrayShellCalls = saved;
}

std::vector<CommandLineRecorder::Box> CommandLineRecorder::boxes;
int CommandLineRecorder::closes = 0;
bool CommandLineRecorder::failAllocation = false;
std::vector<std::size_t> CommandLineRecorder::allocations;
int CommandLineRecorder::releases = 0;

CommandLineRecorder::CommandLineRecorder() : saved(CommandLineCalls) {
    boxes.clear();
    closes = 0;
    failAllocation = false;
    allocations.clear();
    releases = 0;
    CommandLineCalls.showMessage = [](const char* text, const char* caption, unsigned style) {
        boxes.push_back({text, caption, style});
    };
    CommandLineCalls.closeMainWindow = [] { ++closes; };
    CommandLineCalls.allocateBlock = [](std::size_t bytes) -> void* {
        allocations.push_back(bytes);
        return failAllocation ? nullptr : GlobalAlloc(GMEM_FIXED, bytes);
    };
    CommandLineCalls.releaseBlock = [](void* block) {
        ++releases;
        GlobalFree(block);
    };
}

CommandLineRecorder::~CommandLineRecorder() {
    CommandLineCalls = saved;
}

bool operator==(const IdList& list, const std::vector<int>& values) {
    return std::vector<int>(list.begin(), list.end()) == values;
}

void PrintTo(const IdList& list, std::ostream* out) {
    *out << "{";
    for (const int* value = list.begin(); value != list.end(); ++value) {
        *out << (value == list.begin() ? "" : ", ") << *value;
    }
    *out << "}";
}
