#include "vendor-sim/DeviceSim.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

std::string SimFile(const char* name) {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&SimFile), &self);
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    std::string file(path, length < MAX_PATH ? length : 0);
    file.erase(file.find_last_of('\\') + 1);
    return file + name;
}

std::string ReadConfig(const char* section, const char* key) {
    std::vector<char> value(1 << 16);
    GetPrivateProfileStringA(section, key, "", value.data(), static_cast<DWORD>(value.size()),
                             SimFile("DeviceSim.ini").c_str());
    return value.data();
}

// One process-wide journal lock: the log is shared by every process that
// loads the stand-ins from any directory, so the name is fixed.
class JournalLock {
  public:
    JournalLock() : mutex(CreateMutexA(nullptr, FALSE, "Velmora_DeviceSimJournal")) {
        if (mutex != nullptr) {
            // An abandoned lock (a writer killed mid-call) is ours all the same.
            WaitForSingleObject(mutex, INFINITE);
        }
    }
    ~JournalLock() {
        if (mutex != nullptr) {
            ReleaseMutex(mutex);
            CloseHandle(mutex);
        }
    }
    JournalLock(const JournalLock&) = delete;
    JournalLock& operator=(const JournalLock&) = delete;

  private:
    HANDLE mutex;
};

} // namespace

int SimUltraStikCount() {
    return static_cast<int>(std::strtol(ReadConfig("UltraStik", "Count").c_str(), nullptr, 10));
}

std::vector<int> SimPacDriveTypes() {
    std::vector<int> types;
    const std::string list = ReadConfig("PacDrive", "Types");
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) {
            end = list.size();
        }
        const std::string entry = list.substr(start, end - start);
        if (entry.find_first_not_of(" \t") != std::string::npos) {
            types.push_back(static_cast<int>(std::strtol(entry.c_str(), nullptr, 10)));
        }
        start = end + 1;
    }
    return types;
}

void SimHoldIfAsked() {
    constexpr DWORD HoldLimitMilliseconds = 60000;
    const std::string name = ReadConfig("Hold", "Event");
    if (name.empty()) {
        return;
    }
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name.c_str());
    if (event != nullptr) {
        WaitForSingleObject(event, HoldLimitMilliseconds);
        CloseHandle(event);
    }
}

void SimJournal(const std::string& line) {
    const std::string record = line + "\r\n";
    JournalLock lock;
    HANDLE file = CreateFileA(SimFile("DeviceSim.log").c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}
