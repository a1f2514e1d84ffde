#include "ProgramUnderTest.h"

#include "channel/ChannelProtocol.h"

#include "support/Probes.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace {

// A folder (with its trailing backslash) named by an environment variable,
// or the folder of the build's own Velmora.exe.
std::string FolderOr(const char* variable) {
    char folder[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA(variable, folder, sizeof folder);
    if (length > 0 && length < sizeof folder) {
        const std::string named = folder;
        return named.back() == '\\' ? named : named + "\\";
    }
    const std::string exe = VELMORA_EXE;
    return exe.substr(0, exe.find_last_of('\\') + 1);
}

// The program and the stand-ins come from the build of these test programs,
// unless CTest runs them against another build: the 32-bit program
// (VELMORA_PROGRAM_DIR) and its stand-ins of either convention
// (VELMORA_STANDIN_DIR).
std::string DistFile(const char* name) {
    const bool program = lstrcmpiA(name, "Velmora.exe") == 0;
    return FolderOr(program ? "VELMORA_PROGRAM_DIR" : "VELMORA_STANDIN_DIR") + name;
}

// Every end-to-end program starts with no Velmora in the prefix: one left by a
// crashed or timed-out program would hold the mutex and the hot keys, and
// every test after it would fail for the wrong reason.
class NoLeftoverInstance : public ::testing::Environment {
  public:
    void SetUp() override {
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        ASSERT_NE(snapshot, INVALID_HANDLE_VALUE);
        PROCESSENTRY32 entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more;
             more = Process32Next(snapshot, &entry)) {
            if (lstrcmpiA(entry.szExeFile, "Velmora.exe") != 0) {
                continue;
            }
            std::printf("ending a leftover Velmora.exe (process %lu)\n",
                        static_cast<unsigned long>(entry.th32ProcessID));
            HANDLE leftover =
                OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
            if (leftover != nullptr) {
                TerminateProcess(leftover, 99);
                WaitForSingleObject(leftover, 10000);
                CloseHandle(leftover);
            }
        }
        CloseHandle(snapshot);
        ASSERT_TRUE(WaitUntil([](void*) { return !FirstInstanceMarked(); }, nullptr, 10000))
            << "another program holds Velmora_Mutex";
    }
};
const ::testing::Environment* const CleanStart =
    ::testing::AddGlobalTestEnvironment(new NoLeftoverInstance);

} // namespace

bool WaitForQueuedLine(HWND channel, unsigned short ticket, DWORD timeoutMilliseconds) {
    const DWORD start = GetTickCount();
    do {
        DWORD_PTR outcome = OutcomeUnknown;
        if (SendMessageTimeoutA(channel, LineOutcomeMessage, static_cast<WPARAM>(Tagged(ticket)), 0,
                                SMTO_NORMAL, 1000, &outcome) &&
            static_cast<LRESULT>(outcome) == OutcomeWaiting) {
            return true;
        }
        Sleep(10); // the outcome is asked for, never announced
    } while (GetTickCount() - start < timeoutMilliseconds);
    return false;
}

std::string ProgramDistFolder() {
    return FolderOr("VELMORA_PROGRAM_DIR");
}

bool FirstInstanceMarked() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora_Mutex");
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
    return mutex != nullptr;
}

DWORD WaitExit(HANDLE process, DWORD timeoutMilliseconds) {
    WaitForSingleObject(process, timeoutMilliseconds);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process, &code);
    return code;
}

bool WaitUntil(bool (*predicate)(void*), void* context, DWORD timeoutMilliseconds) {
    const DWORD start = GetTickCount();
    while (!predicate(context)) {
        if (GetTickCount() - start > timeoutMilliseconds) {
            return false;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
    return true;
}

DWORD WaitExitServing(HANDLE process, DWORD timeoutMilliseconds) {
    WaitUntil([](void* p) { return WaitForSingleObject(p, 0) == WAIT_OBJECT_0; }, process,
              timeoutMilliseconds);
    return WaitExit(process, 0);
}

HWND WaitForDialog(const char* caption, DWORD timeoutMilliseconds) {
    std::pair<const char*, HWND> search(caption, nullptr);
    WaitUntil(
        [](void* p) {
            auto* s = static_cast<std::pair<const char*, HWND>*>(p);
            s->second = FindWindowA("#32770", s->first);
            return s->second != nullptr && IsWindowVisible(s->second);
        },
        &search, timeoutMilliseconds);
    return search.second;
}

HWND WaitForWindow(const char* windowClass, const char* title, DWORD timeoutMilliseconds) {
    struct Search {
        const char* windowClass;
        const char* title;
        HWND found;
    } search = {windowClass, title, nullptr};
    WaitUntil(
        [](void* p) {
            auto* s = static_cast<Search*>(p);
            s->found = FindWindowA(s->windowClass, s->title);
            return s->found != nullptr;
        },
        &search, timeoutMilliseconds);
    return search.found;
}

bool AnswersWithinASecond(HWND window) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored) != 0;
}

bool WaitForJournal(const ProgramUnderTest& program, std::size_t mark, const std::string& line,
                    DWORD timeout) {
    struct Context {
        const ProgramUnderTest* program;
        std::size_t mark;
        std::string line;
    } context{&program, mark, line};
    return WaitUntil(
        [](void* p) {
            auto* c = static_cast<Context*>(p);
            return HasLine(c->program->JournalSince(c->mark), c->line);
        },
        &context, timeout);
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

ProgramUnderTest::ProgramUnderTest(int sticks, const std::string& pacDriveTypes,
                                   const std::string& subdirectory) {
    folder = temporary.path();
    if (!subdirectory.empty()) {
        folder += subdirectory + "\\";
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    for (const char* name : {"Velmora.exe", "UltraStik.dll", "PacDrive.dll"}) {
        EXPECT_TRUE(CopyFileA(DistFile(name).c_str(), (folder + name).c_str(), FALSE)) << name;
    }
    WriteWholeFile(folder + "DeviceSim.ini", "[UltraStik]\r\nCount=" + std::to_string(sticks) +
                                                 "\r\n[PacDrive]\r\nTypes=" + pacDriveTypes +
                                                 "\r\n");
}

ProgramUnderTest::~ProgramUnderTest() {
    EndRunningInstance();
    for (HANDLE process : processes) {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process, 99);
            WaitForSingleObject(process, 5000);
        }
        CloseHandle(process);
    }
}

void ProgramUnderTest::EndRunningInstance() {
    // A first call starts the running instance itself: it is this copy's
    // when its program lies in this folder.
    DWORD pid = 0;
    if (HWND channel = ChannelWindow()) {
        GetWindowThreadProcessId(channel, &pid);
    }
    if (HANDLE started = OpenProcess(
            PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, pid)) {
        char image[MAX_PATH] = {};
        DWORD size = sizeof image;
        if (QueryFullProcessImageNameA(started, 0, image, &size) &&
            lstrcmpiA(image, (folder + "Velmora.exe").c_str()) == 0) {
            TerminateProcess(started, 99);
            WaitForSingleObject(started, 5000);
        }
        CloseHandle(started);
    }
}

HANDLE ProgramUnderTest::Start(const std::string& arguments) {
    std::string commandLine = "\"" + folder + "Velmora.exe\"";
    if (!arguments.empty()) {
        commandLine += " " + arguments;
    }
    return StartCommandLine(commandLine);
}

HANDLE ProgramUnderTest::StartCommandLine(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');
    BOOL started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                  folder.c_str(), &startup, &info);
    if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
        // Wine reports a new process that died before it ran a single
        // instruction of the program this way (seen once among the load
        // test's 400 launches): nothing of Velmora ran, so launch it again.
        std::printf("CreateProcess: the new process died before it started; launching again\n");
        started = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 folder.c_str(), &startup, &info);
    }
    if (!started) {
        ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
        return nullptr;
    }
    CloseHandle(info.hThread);
    std::lock_guard<std::mutex> locked(processesLock);
    processes.push_back(info.hProcess);
    return info.hProcess;
}

DWORD ProgramUnderTest::Run(const std::string& arguments, DWORD timeoutMilliseconds) {
    HANDLE process = Start(arguments);
    return process != nullptr ? WaitExit(process, timeoutMilliseconds) : STILL_ACTIVE;
}

HANDLE ProgramUnderTest::StartServer(const std::string& arguments) {
    server = Start("");
    // Started together, either process may win the mutex: let this one win first.
    WaitUntil([](void*) { return FirstInstanceMarked(); }, nullptr, 20000);
    // And its window, else the client's 5-second search races its startup.
    WaitForWindow("Velmora_Server", "Velmora_InterComm", 20000);
    // A client returns 1 only once the first instance's main loop acted on it;
    // served meanwhile, since the first instance may be talking to a stand-in
    // taskbar of this thread.
    EXPECT_EQ(WaitExitServing(Start(""), 20000), 1u) << "the first instance does not answer";
    if (!arguments.empty()) {
        EXPECT_EQ(WaitExitServing(Start(arguments), 20000), 1u) << arguments;
    }
    return server;
}

HANDLE ProgramUnderTest::AdoptServer() {
    DWORD pid = 0;
    GetWindowThreadProcessId(ChannelWindow(), &pid);
    server = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, pid);
    EXPECT_NE(server, nullptr) << "no running instance";
    if (server != nullptr) {
        std::lock_guard<std::mutex> locked(processesLock);
        processes.push_back(server);
    }
    return server;
}

DWORD ProgramUnderTest::ExitServer(DWORD timeoutMilliseconds) {
    EXPECT_EQ(Run("-exit"), 1u);
    return WaitExit(server, timeoutMilliseconds);
}

std::vector<std::string> ProgramUnderTest::Journal() const {
    return SplitLines(ReadWholeFile(folder + "DeviceSim.log"));
}

std::vector<std::string> ProgramUnderTest::JournalSince(std::size_t line) const {
    std::vector<std::string> all = Journal();
    return line < all.size() ? std::vector<std::string>(all.begin() + line, all.end())
                             : std::vector<std::string>{};
}

bool ProgramUnderTest::Is32Bit() const {
    DWORD kind = SCS_64BIT_BINARY;
    return GetBinaryTypeA((folder + "Velmora.exe").c_str(), &kind) && kind == SCS_32BIT_BINARY;
}

std::string ProgramUnderTest::Settings() const {
    return ReadWholeFile(folder + "Velmora.ini");
}

void ProgramUnderTest::WriteSettings(const std::string& content) const {
    WriteWholeFile(folder + "Velmora.ini", content);
}

HWND ProgramUnderTest::ServerWindow(const char* windowClass, const char* title) const {
    struct Search {
        DWORD pid;
        const char* windowClass;
        const char* title;
        HWND found;
    } search = {GetProcessId(server), windowClass, title, nullptr};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            DWORD pid = 0;
            GetWindowThreadProcessId(window, &pid);
            char text[64] = {};
            GetWindowTextA(window, text, sizeof text);
            char className[64] = {};
            GetClassNameA(window, className, sizeof className);
            if (pid == s->pid && std::string(className) == s->windowClass &&
                (s->title == nullptr || std::string(text) == s->title)) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND ProgramUnderTest::ControllerWindow() const {
    return ServerWindow("#32770", "Settings");
}

HWND ProgramUnderTest::ChannelWindow() const {
    return FindWindowA("Velmora_Server", "Velmora_InterComm");
}

ULONGLONG ProcessorMilliseconds(HANDLE process) {
    const DWORD pid = GetProcessId(process);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    ULONGLONG hundredNanoseconds = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        HANDLE thread = entry.th32OwnerProcessID == pid
                            ? OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID)
                            : nullptr;
        FILETIME created, ended, kernel, user;
        if (thread != nullptr && GetThreadTimes(thread, &created, &ended, &kernel, &user)) {
            for (const FILETIME& time : {kernel, user}) {
                hundredNanoseconds += (ULONGLONG(time.dwHighDateTime) << 32) | time.dwLowDateTime;
            }
        }
        if (thread != nullptr) {
            CloseHandle(thread);
        }
    }
    CloseHandle(snapshot);
    constexpr ULONGLONG PerMillisecond = 10000;
    return hundredNanoseconds / PerMillisecond;
}
