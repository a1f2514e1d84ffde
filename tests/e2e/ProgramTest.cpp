// Velmora.exe as a whole: startup, the stored modes, the Settings window, the
// exit confirmation, autostart, the session end, hot keys and the tray menu.
#include "ProgramUnderTest.h"
#include "app/HotKeys.h"
#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "settings/Autostart.h"
#include "settings/RegistryKey.h"
#include "tray/TrayIcon.h"
#include "support/Probes.h"
#include "tools/run/DesktopInput.h"

#include <dbt.h>
#include <dde.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string SettingsFile(const char* u360, const char* servo, const char* launch = "False") {
    return std::string("[General]\r\nLaunchOnStartup=") + launch +
           "\r\nMouseDrag=False\r\nReverseMouse=False\r\nU360MapFile=" + u360 +
           "\r\nServoMapFile=" + servo + "\r\n";
}

// The five keys of a settings file, in order, whatever their place in it.
std::string StoredKeys(const ProgramUnderTest& program) {
    const std::string path = program.Directory() + "Velmora.ini";
    std::string keys = "[General]\r\n";
    for (const char* key :
         {"LaunchOnStartup", "MouseDrag", "ReverseMouse", "U360MapFile", "ServoMapFile"}) {
        keys += std::string(key) + "=" + IniValue(path, key) + "\r\n";
    }
    return keys;
}

std::string ChildTexts(HWND window) {
    std::string texts;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM p) -> BOOL {
            char text[128] = {};
            GetWindowTextA(child, text, sizeof text);
            *reinterpret_cast<std::string*>(p) += std::string(text) + "|";
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&texts));
    return texts;
}

TEST(Program, FirstStartWithAModeAndExitAppliesSavesAndEnds) {
    ProgramUnderTest program(1, "4");
    EXPECT_EQ(program.Run("-u360 joy2way -exit"), 0u);
    EXPECT_EQ(program.Journal(),
              (Lines{"UltraStik 1 -> 1", "PacDrive 2 -> 1", "PacDrive 20 0 -> 4",
                     "UltraStik 13 0 joy2way", "PacDrive 29", "UltraStik 2", "PacDrive 3"}));
    EXPECT_EQ(program.Settings(), SettingsFile("joy2way", "joy4way"));
}

// Whether the pipe's last writer let go of it within the time.
bool PipeClosedWithin(HANDLE readEnd, DWORD milliseconds) {
    return WaitUntil(
        [](void* pipe) {
            DWORD available = 0;
            return !PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) &&
                   GetLastError() == ERROR_BROKEN_PIPE;
        },
        readEnd, milliseconds);
}

// A launcher waits for the program it runs, may read its output and may end
// its job when the game ends: its first call, with nothing running, starts
// the running instance apart and returns like any later call, and so does a
// second launcher's at once.
TEST(Program, TheFirstCallsStartOneRunningInstanceAndReturn) {
    ProgramUnderTest program(1, "4");
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    ASSERT_TRUE(
        SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits));
    // Both in the job, both reading the output (standard output alone: Wine
    // hands every process it starts the Unix standard error of its parent,
    // whatever the Windows handles say).
    HANDLE launchers[2] = {}, threads[2] = {};
    const char* lines[] = {"-u360 joy4way", "-servo joy8way"};
    for (int i = 0; i < 2; ++i) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = writeEnd;
        PROCESS_INFORMATION started = {};
        std::string line = "\"" + program.Directory() + "Velmora.exe\" " + lines[i];
        ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                                   nullptr, nullptr, &startup, &started));
        ASSERT_TRUE(AssignProcessToJobObject(job, started.hProcess));
        launchers[i] = started.hProcess;
        threads[i] = started.hThread;
    }
    CloseHandle(writeEnd);
    for (HANDLE thread : threads) {
        ResumeThread(thread);
        CloseHandle(thread);
    }
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(WaitExit(launchers[i], 20000), 1u) << lines[i];
        CloseHandle(launchers[i]);
    }
    EXPECT_TRUE(PipeClosedWithin(readEnd, 5000)) << "the instance holds the launcher's output";
    CloseHandle(readEnd);
    CloseHandle(job); // the game ended: the launcher's job goes, and all in it

    HWND first = FindWindowA("Velmora_Server", "Velmora_InterComm");
    ASSERT_NE(first, nullptr) << "no running instance remains";
    EXPECT_EQ(FindWindowExA(nullptr, first, "Velmora_Server", "Velmora_InterComm"), nullptr)
        << "two running instances";
    program.AdoptServer();
    const Lines journal = program.Journal();
    EXPECT_TRUE(HasLine(journal, "UltraStik 13 0 joy4way"));
    EXPECT_TRUE(HasLine(journal, "PacDrive 30"));
    EXPECT_EQ(program.ExitServer(), 0u);
}

// No call goes into a library before its start-up call, the count: the
// first start's own mode goes out once the devices are counted.
TEST(Program, ServoOnTheFirstStartWaitsForTheDevicesCount) {
    ProgramUnderTest program(0, "");
    EXPECT_EQ(program.Run("-servo joy8way -exit"), 0u);
    EXPECT_EQ(program.Journal(), (Lines{"UltraStik 1 -> 0", "PacDrive 2 -> 0", "PacDrive 30",
                                        "UltraStik 2", "PacDrive 3"}));
    EXPECT_EQ(program.Settings(), SettingsFile("mouse", "joy8way"));
}

TEST(Program, StoredModesAtStartup) {
    const struct {
        int sticks;
        const char* types;
        const char* stored;
        Lines journal;
        std::string saved; // written back, or empty: the file as it was
    } rows[] = {
        // No stick, stored "mouse": nothing loaded, nothing written.
        {0,
         "4",
         "U360MapFile=mouse\r\nServoMapFile=joy4way",
         {"UltraStik 1 -> 0", "PacDrive 2 -> 1", "PacDrive 20 0 -> 4", "PacDrive 29", "UltraStik 2",
          "PacDrive 3"},
         ""},
        // Three PacDrive devices, none a ServoStik: the mode is still sent.
        {1,
         "1,2,3",
         "U360MapFile=analog\r\nServoMapFile=joy8way",
         {"UltraStik 1 -> 1", "PacDrive 2 -> 3", "PacDrive 20 0 -> 1", "PacDrive 20 1 -> 2",
          "PacDrive 20 2 -> 3", "UltraStik 13 0 analog", "PacDrive 30", "UltraStik 2",
          "PacDrive 3"},
         ""},
        // A name that is no mode is handed to the sticks as a line's would
        // be; the ServoStik's name in other letters gives 8-way, written.
        {2,
         "4",
         "U360MapFile=Mouse\r\nServoMapFile=JOY4WAY",
         {"UltraStik 1 -> 2", "PacDrive 2 -> 1", "PacDrive 20 0 -> 4", "UltraStik 13 0 Mouse",
          "UltraStik 13 1 Mouse", "PacDrive 30", "UltraStik 2", "PacDrive 3"},
         SettingsFile("Mouse", "joy8way")},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        ProgramUnderTest program(rows[row].sticks, rows[row].types);
        const std::string stored = std::string("[General]\r\n") + rows[row].stored + "\r\n";
        program.WriteSettings(stored);
        EXPECT_EQ(program.Run("-exit"), 0u) << "row " << row;
        EXPECT_EQ(program.Journal(), rows[row].journal) << "row " << row;
        EXPECT_EQ(rows[row].saved.empty() ? program.Settings() : StoredKeys(program),
                  rows[row].saved.empty() ? stored : rows[row].saved)
            << "row " << row;
    }
}

TEST(Program, TheCloseBoxAsksFirst) {
    ProgramUnderTest program;
    program.StartServer("-u360 analog");
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    SendMessageA(controller, WM_COMMAND, IDM_SETTINGS, 0);

    PostMessageA(controller, WM_SYSCOMMAND, SC_CLOSE, 0);
    HWND box = WaitForDialog("Exit Velmora");
    ASSERT_NE(box, nullptr);
    EXPECT_NE(ChildTexts(box).find("Are You Sure?"), std::string::npos) << ChildTexts(box);
    EXPECT_NE(GetDlgItem(box, IDCANCEL), nullptr);
    SendMessageA(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
    // Runs out on purpose: time for an end that Cancel wrongly began to show.
    EXPECT_EQ(WaitExit(program.server, 1000), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(program.Run(""), 1u) << "Cancel: nothing changes";

    PostMessageA(controller, WM_SYSCOMMAND, SC_CLOSE, 0);
    box = WaitForDialog("Exit Velmora");
    ASSERT_NE(box, nullptr);
    SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitExit(program.server, 10000), 0u);
    EXPECT_EQ(program.Settings(), SettingsFile("analog", "joy4way"));
}

TEST(Program, SettingsWindowShowsAndHides) {
    ProgramUnderTest program;
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    auto command = [controller](int id) {
        SendMessageA(controller, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(controller, id)));
    };
    EXPECT_FALSE(IsWindowVisible(controller));
    for (int hide : {IDC_OK, IDC_CLOSE, 0}) {
        command(IDM_SETTINGS);
        EXPECT_TRUE(IsWindowVisible(controller));
        if (hide != 0) {
            command(hide);
        } else {
            SendMessageA(controller, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        }
        EXPECT_FALSE(IsWindowVisible(controller)) << "hidden by " << hide;
        EXPECT_FALSE(IsIconic(controller)) << "never minimized";
    }

    // Shown, it answers the keyboard as a dialog does: Tab moves the focus on,
    // Enter presses the default button, Escape closes. The keys go where
    // real ones would, to the control with the focus.
    struct Keys {
        HWND window;
        DWORD thread;
        HWND Focus() const {
            GUITHREADINFO info = {};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(thread, &info);
            return info.hwndFocus;
        }
        void Press(WPARAM key) const {
            HWND focus = Focus();
            PostMessageA(focus != nullptr ? focus : window, WM_KEYDOWN, key, 0);
        }
    } keys = {controller, GetWindowThreadProcessId(controller, nullptr)};
    for (WPARAM closing : {VK_RETURN, VK_ESCAPE}) {
        command(IDM_SETTINGS);
        const HWND before = keys.Focus();
        keys.Press(VK_TAB);
        std::pair<const Keys*, HWND> moved(&keys, before);
        EXPECT_TRUE(WaitUntil(
            [](void* p) {
                auto* m = static_cast<std::pair<const Keys*, HWND>*>(p);
                const HWND now = m->first->Focus();
                return now != m->second && IsChild(m->first->window, now);
            },
            &moved, 5000))
            << "Tab did not move the focus to another control";
        keys.Press(closing);
        EXPECT_TRUE(WaitUntil([](void* p) { return !IsWindowVisible(static_cast<HWND>(p)); },
                              controller, 5000))
            << "not hidden by key " << closing;
    }

    // The About box, owned by the Settings window, closes with OK.
    PostMessageA(controller, WM_COMMAND, IDM_ABOUT, 0);
    HWND about = WaitForDialog("About");
    ASSERT_NE(about, nullptr);
    EXPECT_NE(ChildTexts(about).find("Velmora Version 1.0"), std::string::npos);
    EXPECT_EQ(GetWindow(about, GW_OWNER), controller);
    SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([](void* p) { return !IsWindow(static_cast<HWND>(p)); }, about, 5000));

    // "E&xit" ends the program at once.
    PostMessageA(controller, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(WaitExit(program.server, 10000), 0u);
}

// Hidden to Velmora is hidden, whatever style bits another program sets
// (WM_SETREDRAW makes a window "visible"): nobody else opens its window menu
// (a DDE message nobody can unpack would then spin the menu's loop), its
// move loop or its exit question. Lines go on, and nothing burns the CPU.
TEST(Program, TheHiddenSettingsWindowOpensNoLoopForAnotherProgram) {
    ProgramUnderTest program;
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    // The tray's hidden window too: it shares the main thread.
    for (HWND window : {program.ServerWindow("TrayIconClass"), controller}) {
        ASSERT_NE(window, nullptr);
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(window, WM_SETREDRAW, TRUE, 0, SMTO_NORMAL, 5000, &ignored);
        EXPECT_FALSE(IsWindowVisible(window)) << "made visible from outside";
        PostMessageA(window, PopupSystemMenu, 0, 0);
        PostMessageA(window, WM_SYSCOMMAND, SC_MOVE, 0);
        PostMessageA(window, WM_NCLBUTTONDOWN, HTMINBUTTON, 0); // held until let go
    }
    constexpr LPARAM NoValidHandle = 1;
    PostMessageA(controller, WM_DDE_EXECUTE, 1, NoValidHandle);
    PostMessageA(controller, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(program.Run("-servo joy8way"), 1u) << "a loop holds the main thread";
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(controller, nullptr), &thread);
    EXPECT_EQ(thread.flags & (GUI_INMENUMODE | GUI_SYSTEMMENUMODE | GUI_INMOVESIZE), 0u);
    EXPECT_EQ(FindWindowA("#32770", "Exit Velmora"), nullptr);
    EXPECT_FALSE(IsWindowVisible(FindWindowA("#32768", nullptr))) << "a window menu opened";
    const ULONGLONG before = ProcessorMilliseconds(program.server);
    constexpr DWORD Quiet = 2000; // long enough for a spinning loop to show
    Sleep(Quiet);
    EXPECT_LT(ProcessorMilliseconds(program.server) - before, Quiet / 10) << "busy at rest";
    EXPECT_EQ(program.ExitServer(), 0u);
}

bool RunKeyExists() {
    RegistryKey run;
    return RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_QUERY_VALUE, &run.handle) ==
           ERROR_SUCCESS;
}

TEST(Program, LaunchOnStartupWritesAndDeletesTheRunValueQuoted) {
    ProgramUnderTest program(1, "4", "Velmora Games");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    SendMessageA(controller, WM_COMMAND, IDM_SETTINGS, 0);
    HWND box = GetDlgItem(controller, IDC_LAUNCH_ON_STARTUP);
    const std::string expected = "\"" + program.Directory() + "Velmora.exe\"";

    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(RunValue(), expected);
    EXPECT_EQ(IniValue(program.Directory() + "Velmora.ini", "LaunchOnStartup"), "True")
        << "not kept the moment it was chosen";
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(RunValue(), "<absent>");
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(RunValue(), expected);

    EXPECT_EQ(WaitExitServing(program.Start("-u360 analog"), 20000), 1u);
    SendMessageA(controller, WM_QUERYENDSESSION, 0, 0);
    EXPECT_EQ(program.Settings(), SettingsFile("analog", "joy4way", "True"));
    EXPECT_EQ(WaitExit(program.server, 0), static_cast<DWORD>(STILL_ACTIVE));

    // With no Run key at all, autostart creates none.
    SendMessageA(box, BM_CLICK, 0, 0);
    ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, RunKeyPath), ERROR_SUCCESS);
    SendMessageA(box, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_FALSE(RunKeyExists());
    RegistryKey recreated;
    RegCreateKeyA(HKEY_CURRENT_USER, RunKeyPath, &recreated.handle);
    EXPECT_EQ(program.ExitServer(), 0u);

    // The flag on and no Run value (the folder moved, or the settings came
    // from another machine): the next start names this program again.
    ASSERT_EQ(RunValue(), "<absent>");
    program.StartServer();
    EXPECT_EQ(RunValue(), expected);
    controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    SendMessageA(GetDlgItem(controller, IDC_LAUNCH_ON_STARTUP), BM_CLICK, 0, 0);
    EXPECT_EQ(RunValue(), "<absent>");
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Folders whose names the system's ANSI code page cannot spell: the program
// runs its ANSI calls in UTF-8 (as this test program does), so the paths
// stay whole.
TEST(Program, FoldersAnyCodePageCannotSpellKeepSettingsAndAutostart) {
    for (const wchar_t* folder : {L"\u0418\u0433\u0440\u044B", L"\u30B2\u30FC\u30E0"}) {
        char name[64] = {};
        ASSERT_GT(WideCharToMultiByte(CP_UTF8, 0, folder, -1, name, sizeof name, nullptr, nullptr),
                  0);
        ASSERT_EQ(GetACP(), static_cast<UINT>(CP_UTF8)) << "this test program runs in UTF-8";
        ProgramUnderTest program(1, "4", name);
        EXPECT_EQ(program.Run("-u360 joy4way -exit"), 0u) << name;
        EXPECT_EQ(program.Settings(), SettingsFile("joy4way", "joy4way")) << name;

        program.StartServer(); // loads what the first run saved
        EXPECT_EQ(program.Run("-servo joy8way"), 1u) << name;
        HWND controller = program.ControllerWindow();
        ASSERT_NE(controller, nullptr);
        SendDlgItemMessageA(controller, IDC_LAUNCH_ON_STARTUP, BM_CLICK, 0, 0);
        wchar_t run[MAX_PATH] = {};
        DWORD size = sizeof run;
        RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                     L"Velmora", RRF_RT_REG_SZ, nullptr, run, &size);
        wchar_t directory[MAX_PATH] = {};
        MultiByteToWideChar(CP_UTF8, 0, program.Directory().c_str(), -1, directory, MAX_PATH);
        EXPECT_EQ(std::wstring(run), std::wstring(directory) + L"Velmora.exe") << name;
        SendDlgItemMessageA(controller, IDC_LAUNCH_ON_STARTUP, BM_CLICK, 0, 0);
        EXPECT_EQ(program.ExitServer(), 0u) << name;
        EXPECT_EQ(program.Settings(), SettingsFile("joy4way", "joy8way")) << name;
    }
}

TEST(Program, StoredCheckBoxesShowAtStartupAndTheMouseBoxesAreSaved) {
    ProgramUnderTest program;
    program.WriteSettings("[General]\r\nLaunchOnStartup=False\r\nMouseDrag=True\r\n"
                          "ReverseMouse=False\r\n");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    const struct {
        int id;
        LRESULT shown;
    } boxes[] = {{IDC_LAUNCH_ON_STARTUP, BST_UNCHECKED},
                 {IDC_MOUSE_DRAG, BST_CHECKED},
                 {IDC_REVERSE_MOUSE, BST_UNCHECKED}};
    for (const auto& box : boxes) {
        EXPECT_EQ(SendDlgItemMessageA(controller, box.id, BM_GETCHECK, 0, 0), box.shown)
            << "box " << box.id;
    }
    // The two mouse boxes are hidden in the dialog; a click still reaches them.
    SendDlgItemMessageA(controller, IDC_MOUSE_DRAG, BM_CLICK, 0, 0);
    SendDlgItemMessageA(controller, IDC_REVERSE_MOUSE, BM_CLICK, 0, 0);
    EXPECT_EQ(program.ExitServer(), 0u);
    const std::string ini = program.Directory() + "Velmora.ini";
    EXPECT_EQ(IniValue(ini, "MouseDrag"), "False");
    EXPECT_EQ(IniValue(ini, "ReverseMouse"), "True");
    EXPECT_EQ(IniValue(ini, "LaunchOnStartup"), "False");
}

// F4 and F8 held by another program as Velmora starts, and let go a moment
// later: Velmora takes them then, and they switch the ServoStiks.
TEST(Program, HotKeysHeldByAnotherProgramAtStartupAreTakenOnceFree) {
    ASSERT_TRUE(RegisterHotKey(nullptr, HotKeyServo4Way, 0, VK_F4));
    ASSERT_TRUE(RegisterHotKey(nullptr, HotKeyServo8Way, 0, VK_F8));
    ProgramUnderTest program(0, "4");
    program.StartServer();
    constexpr DWORD HeldAfterStart = 1500;
    Sleep(HeldAfterStart); // past startup: the keys come free while Velmora asks again
    UnregisterHotKey(nullptr, HotKeyServo4Way);
    UnregisterHotKey(nullptr, HotKeyServo8Way);
    // Taken by Velmora once another program can no longer have it.
    EXPECT_TRUE(WaitUntil(
        [](void*) {
            if (RegisterHotKey(nullptr, HotKeyServo8Way, 0, VK_F8)) {
                UnregisterHotKey(nullptr, HotKeyServo8Way);
                return false;
            }
            return true;
        },
        nullptr, 3 * HotKeyRetryMilliseconds + 2000));
    for (const auto& [key, line] : {std::pair<WORD, const char*>{VK_F8, "PacDrive 30"},
                                    std::pair<WORD, const char*>{VK_F4, "PacDrive 29"}}) {
        const std::size_t mark = program.Journal().size();
        PressKey(key);
        EXPECT_TRUE(WaitForJournal(program, mark, line)) << line;
    }
    EXPECT_EQ(program.ExitServer(), 0u);
}

// What Windows says to every top-level window: devices changed (a stick
// plugged in is counted, once for a whole burst, and gets the next map), the
// session ends (the libraries are closed then; should the session go on,
// they are opened again before their next use), and an installer's Restart
// Manager asks it to close (it ends as at -exit).
TEST(Program, DeviceChangesAndTheSessionsEndAreHeard) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    ASSERT_TRUE(WritePrivateProfileStringA("UltraStik", "Count", "2",
                                           (program.Directory() + "DeviceSim.ini").c_str()));
    constexpr int Burst = 9000; // each once recounted both kinds
    for (int i = 0; i < Burst; ++i) {
        PostMessageA(controller, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED, 0);
    }
    std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-u360 joy2way"), 1u) << "a line held by the burst";
    Lines journal = program.JournalSince(mark);
    EXPECT_TRUE(HasLine(journal, "UltraStik 13 1 joy2way"))
        << "the stick plugged in later got no map";
    EXPECT_LE(std::count(journal.begin(), journal.end(), "UltraStik 1 -> 2"), 1);

    DWORD_PTR ignored = 0;
    mark = program.Journal().size();
    SendMessageTimeoutA(controller, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 5000, &ignored);
    SendMessageTimeoutA(controller, WM_ENDSESSION, TRUE, 0, SMTO_NORMAL, 5000, &ignored);
    EXPECT_EQ(program.JournalSince(mark), (Lines{"UltraStik 2", "PacDrive 3"}));
    EXPECT_NE(program.Settings().find("U360MapFile=joy2way"), std::string::npos);
    // The session went on after all: a line and F8 open the libraries first.
    EXPECT_EQ(program.Run("-u360 joy4way"), 1u);
    PressKey(VK_F8);
    EXPECT_TRUE(WaitForJournal(program, mark, "PacDrive 30"));
    EXPECT_EQ(program.JournalSince(mark),
              (Lines{"UltraStik 2", "PacDrive 3", "UltraStik 1 -> 2", "PacDrive 2 -> 1",
                     "PacDrive 20 0 -> 4", "UltraStik 13 0 joy4way", "UltraStik 13 1 joy4way",
                     "PacDrive 30"}));

    mark = program.Journal().size();
    SendMessageTimeoutA(controller, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000,
                        &ignored);
    SendMessageTimeoutA(controller, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_NORMAL, 5000,
                        &ignored);
    EXPECT_EQ(WaitExit(program.server, 10000), 0u) << "Restart Manager's close";
    EXPECT_EQ(program.JournalSince(mark), (Lines{"UltraStik 2", "PacDrive 3"}))
        << "each library closed once";
    EXPECT_EQ(program.Settings(), SettingsFile("joy4way", "joy8way"));
}

TEST(Program, HotKeysAndTheServoStikMenuItemsSwitchTheServoStiks) {
    ProgramUnderTest program(0, "4,4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    const struct {
        WORD key;     // pressed, or
        UINT command; // chosen from the tray menu, which posts it
        const char* line;
    } inputs[] = {{VK_F8, 0, "PacDrive 30"},
                  {VK_F4, 0, "PacDrive 29"},
                  {0, IDM_SERVO_8WAY, "PacDrive 30"},
                  {0, IDM_SERVO_4WAY, "PacDrive 29"}};
    for (std::size_t row = 0; row < std::size(inputs); ++row) {
        const std::size_t mark = program.Journal().size();
        if (inputs[row].key != 0) {
            PressKey(inputs[row].key);
        } else {
            PostMessageA(controller, WM_COMMAND, inputs[row].command, 0);
        }
        EXPECT_TRUE(WaitForJournal(program, mark, inputs[row].line)) << "row " << row;
    }
    EXPECT_EQ(program.ExitServer(), 0u);
    EXPECT_EQ(program.Settings(), SettingsFile("mouse", "joy4way"));
}

// A taskbar of our own that Wine's Shell_NotifyIcon finds first (it is the
// newest top-level "Shell_TrayWnd"): it refuses adds until told otherwise,
// as a taskbar that is not there yet at log-on would. Wine sends each call as
// a WM_COPYDATA whose wParam is the icon's window.
int trayAdds = 0;
int trayModifies = 0;
bool trayAccepts = false;
bool trayHasIcon = false; // a real taskbar refuses a second add of the same icon
int trayDeletes = 0;
int trayDeletesOfLiveWindows = 0;
int modifyDepth = 0;
int deepestModify = 0;
// When set, the next modify is slow: it starts this forwarded line and, as a
// busy taskbar would, takes two seconds to answer while serving sent messages.
ProgramUnderTest* forwardDuringModify = nullptr;
HANDLE forwardedSender = nullptr; // the process that sent that line
// When set, the next modify sends this window the menu command, as a user's
// choice would arrive while the icon's update waits.
HWND commandDuringModify = nullptr;
constexpr DWORD SlowModifyMilliseconds = 2000;

void ModifySlowlyForwarding(ProgramUnderTest* program) {
    forwardedSender = program->Start("-u360 joy4way");
    const DWORD start = GetTickCount();
    // Runs out unless a second modify nests, as a busy taskbar keeps the caller waiting.
    while (deepestModify < 2 && GetTickCount() - start < SlowModifyMilliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

// The tip of the last add the fake taskbar accepted. Wine's shell32 hands the
// taskbar a record of its own: the window (32 bits on either build), the id,
// the flags and the callback message, then the tip as 128 UTF-16 characters.
std::string trayTip;

std::string WineRecordTip(const COPYDATASTRUCT& data) {
    constexpr std::size_t TipOffset = 4 * sizeof(UINT);
    constexpr std::size_t TipCharacters = 128;
    if (data.cbData < TipOffset + TipCharacters * sizeof(WCHAR)) {
        return "<a record too short for a tip>";
    }
    const auto* tip =
        reinterpret_cast<const WCHAR*>(static_cast<const char*>(data.lpData) + TipOffset);
    const int length = static_cast<int>(wcsnlen(tip, TipCharacters));
    std::string text(length * 3, '\0');
    text.resize(WideCharToMultiByte(CP_UTF8, 0, tip, length, text.data(),
                                    static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

LRESULT CALLBACK SlowTaskbarProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    switch (reinterpret_cast<const COPYDATASTRUCT*>(lParam)->dwData) {
    case NIM_ADD:
        ++trayAdds;
        if (!trayAccepts || trayHasIcon) {
            return FALSE;
        }
        trayHasIcon = true;
        trayTip = WineRecordTip(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return TRUE;
    case NIM_DELETE:
        trayHasIcon = false;
        ++trayDeletes;
        trayDeletesOfLiveWindows += IsWindow(reinterpret_cast<HWND>(wParam)) ? 1 : 0;
        return TRUE;
    case NIM_MODIFY:
        if (!trayHasIcon) {
            return FALSE;
        }
        ++trayModifies;
        deepestModify = std::max(deepestModify, ++modifyDepth);
        if (ProgramUnderTest* program = std::exchange(forwardDuringModify, nullptr)) {
            ModifySlowlyForwarding(program);
        }
        if (HWND controller = std::exchange(commandDuringModify, nullptr)) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(controller, WM_COMMAND, IDM_U360_ANALOG, 0, SMTO_NORMAL, 5000,
                                &ignored);
        }
        --modifyDepth;
        return TRUE;
    default:
        return TRUE;
    }
}

class SlowTaskbar : public ::testing::Test {
  protected:
    void SetUp() override {
        trayAdds = trayModifies = trayDeletes = trayDeletesOfLiveWindows = modifyDepth =
            deepestModify = 0;
        trayAccepts = trayHasIcon = false;
        trayTip.clear();
        forwardDuringModify = nullptr;
        forwardedSender = nullptr;
        commandDuringModify = nullptr;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = SlowTaskbarProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "Shell_TrayWnd";
        RegisterClassA(&windowClass);
        taskbar = CreateWindowExA(0, "Shell_TrayWnd", nullptr, WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_EQ(FindWindowExA(nullptr, nullptr, "Shell_TrayWnd", nullptr), taskbar)
            << "Wine's own tray would be found first";
    }
    void TearDown() override {
        DestroyWindow(taskbar);
        UnregisterClassA("Shell_TrayWnd", GetModuleHandleA(nullptr));
    }
    HWND taskbar = nullptr;
};

// A front end as the shell: no taskbar takes the icon. Lines, F4 and the
// stored modes work at once all the same, and the icon comes with a taskbar.
TEST_F(SlowTaskbar, WithoutATaskbarEverythingWorksAndTheIconComesWithOne) {
    ProgramUnderTest program(1, "4");
    program.WriteSettings(SettingsFile("analog", "joy8way"));
    program.StartServer("-u360 joy4way");
    EXPECT_FALSE(trayHasIcon);
    EXPECT_GE(trayAdds, 1);
    EXPECT_EQ(program.Journal(),
              (Lines{"UltraStik 1 -> 1", "PacDrive 2 -> 1", "PacDrive 20 0 -> 4",
                     "UltraStik 13 0 analog", "PacDrive 30", "UltraStik 13 0 joy4way"}));
    PressKey(VK_F4);
    EXPECT_TRUE(WaitForJournal(program, 0, "PacDrive 29"));

    trayAccepts = true;
    PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
    EXPECT_TRUE(WaitUntil([](void*) { return trayHasIcon; }, nullptr, 10000));
    HANDLE ender = program.Start("-exit");
    EXPECT_EQ(WaitExitServing(program.server, 10000), 0u);
    EXPECT_EQ(WaitExit(ender, 5000), 1u);
    EXPECT_EQ(program.Settings(), SettingsFile("joy4way", "joy4way"));
    EXPECT_EQ(trayDeletesOfLiveWindows, 1) << "the icon was deleted after its window";
}

TEST_F(SlowTaskbar, AForwardedLineWaitsForTheMenuActionInProgress) {
    trayAccepts = true;
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    const std::size_t mark = program.Journal().size();

    // The menu's "Analog" waits on the icon's update; a line arrives meanwhile.
    forwardDuringModify = &program;
    PostMessageA(controller, WM_COMMAND, IDM_U360_ANALOG, 0);
    ASSERT_TRUE(WaitUntil([](void*) { return forwardedSender != nullptr; }, nullptr, 20000));
    // Its sender ends once the line is done, the icon's update included.
    EXPECT_EQ(WaitExitServing(forwardedSender, 20000), 1u);
    EXPECT_EQ(deepestModify, 1) << "the forwarded line ran inside the menu action";
    EXPECT_EQ(program.JournalSince(mark),
              (Lines{"UltraStik 13 0 analog", "UltraStik 13 0 joy4way"}));

    // The other way round: a menu command sent while a line's update waits
    // runs after the line, not inside it.
    commandDuringModify = controller;
    EXPECT_EQ(WaitExitServing(program.Start("-u360 joy8way"), 20000), 1u);
    EXPECT_TRUE(WaitUntil(
        [](void* p) {
            return static_cast<ProgramUnderTest*>(p)->Journal().back() == "UltraStik 13 0 analog";
        },
        &program, 10000));
    EXPECT_EQ(deepestModify, 1) << "the menu command ran inside the forwarded line";
    HANDLE ender = program.Start("-exit");
    EXPECT_EQ(WaitExitServing(program.server, 10000), 0u);
    EXPECT_EQ(WaitExit(ender, 5000), 1u);
    EXPECT_EQ(program.Settings(), SettingsFile("analog", "joy4way"));
}

// "TaskbarCreated" from anyone while the icon is shown, then a real restart
// whose taskbar refuses the first adds: the icon is shown and follows the
// mode throughout.
TEST_F(SlowTaskbar, TheIconOutlivesAnyTaskbarCreatedAndFollowsTheMode) {
    trayAccepts = true;
    ProgramUnderTest program(1, "4");
    program.StartServer();
    ASSERT_EQ(trayAdds, 1);
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    int modifies = trayModifies;
    PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
    ASSERT_TRUE(WaitUntil([](void*) { return trayAdds == 2; }, nullptr, 10000));
    EXPECT_TRUE(
        WaitUntil([](void* m) { return trayModifies > *static_cast<int*>(m); }, &modifies, 10000))
        << "the refused duplicate add was not followed by a modify";
    modifies = trayModifies;
    EXPECT_EQ(WaitExitServing(program.Start("-u360 mouse"), 20000), 1u);
    EXPECT_GT(trayModifies, modifies) << "the picture no longer follows the mode";

    trayHasIcon = trayAccepts = false; // restarted, and still coming up
    PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
    ASSERT_TRUE(WaitUntil([](void*) { return trayAdds >= 4; }, nullptr, 10000))
        << "a failed re-add was not tried again";
    EXPECT_EQ(WaitExitServing(program.Start("-u360 joy4way"), 20000), 1u);
    trayAccepts = true;
    EXPECT_TRUE(WaitUntil([](void*) { return trayHasIcon; }, nullptr, 10000));
    modifies = trayModifies;
    EXPECT_EQ(WaitExitServing(program.Start("-u360 analog"), 20000), 1u);
    EXPECT_GT(trayModifies, modifies);

    // The tray's hidden window made the child of another program's window,
    // then destroyed with it: a restarted taskbar still gets the icon back.
    for (const bool destroyed : {false, true}) {
        HWND hidden = program.ServerWindow("TrayIconClass");
        ASSERT_NE(hidden, nullptr) << "destroyed " << destroyed;
        HWND adopter = CreateWindowExA(0, "STATIC", "adopter", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10,
                                       nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        SetParent(hidden, adopter);
        if (destroyed) {
            DestroyWindow(adopter);
        }
        const int adds = trayAdds;
        trayHasIcon = false;
        PostMessageA(HWND_BROADCAST, taskbarCreated, 0, 0);
        EXPECT_TRUE(WaitUntil([](void*) { return trayHasIcon; }, nullptr, 10000))
            << "no icon after the restart, hidden window destroyed " << destroyed;
        EXPECT_GT(trayAdds, adds);
        if (!destroyed) {
            DestroyWindow(adopter);
        }
    }

    HANDLE ender = program.Start("-exit");
    EXPECT_EQ(WaitExitServing(program.server, 10000), 0u);
    EXPECT_EQ(WaitExit(ender, 5000), 1u);
}

// What can be wrong with a vendor library beside Velmora.exe.
enum class LibraryFault { Missing, OtherBitness, Older };

// Puts a faulty library in place of a stand-in: none, the other build's
// (dist/win32 for the 64-bit program, dist/win64 for the 32-bit one), or the
// older one of the program's own build (its folder "older", without the last
// ordinal Velmora calls). Fails, saying which build is missing, when it is.
void BreakLibrary(const ProgramUnderTest& program, const char* library, LibraryFault fault) {
    const std::string target = program.Directory() + library;
    ASSERT_TRUE(DeleteFileA(target.c_str())) << target;
    if (fault == LibraryFault::Missing) {
        return;
    }
    const std::string source = fault == LibraryFault::Older
                                   ? ProgramDistFolder() + "older\\" + library
                                   : std::string(VELMORA_DIST_ROOT) +
                                         (program.Is32Bit() ? "\\win64\\" : "\\win32\\") + library;
    ASSERT_TRUE(CopyFileA(source.c_str(), target.c_str(), FALSE))
        << source << " is not built: cmake --build --preset win32 and --preset win64 first";
}

// Whether the tray menu's submenu at a position opens, from the keyboard in
// the menu a right-click on the icon opens. Escape then closes the submenu
// when it opened, and the whole menu only when nothing opened.
void ExpectSubmenu(HWND controller, int position, bool opens) {
    PostMessageA(controller, TrayCallbackMessage, IDR_TRAYMENU, WM_RBUTTONUP);
    ASSERT_TRUE(WaitUntil([](void*) { return OpenMenus().size() == 1; }, nullptr, 5000))
        << "the tray menu did not open";
    HWND menu = OpenMenus()[0];
    for (int step = 0; step <= position; ++step) {
        PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    }
    PostMessageA(menu, WM_KEYDOWN, VK_RIGHT, 0);
    if (opens) {
        EXPECT_TRUE(WaitUntil([](void*) { return OpenMenus().size() == 2; }, nullptr, 5000))
            << "position " << position << ": the submenu did not open";
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(WaitUntil([](void*) { return OpenMenus().empty(); }, nullptr, 5000))
        << "position " << position
        << (opens ? ": the menu did not close" : ": the greyed submenu opened");
}

// Velmora starts beside a faulty vendor library, never calls it (not even
// for the first start's own -servo, made before the devices are counted),
// greys its submenu as for no device, says what is wrong in the tip, and
// hand-overs end with the truth.
TEST_F(SlowTaskbar, AFaultyVendorLibraryIsNeverCalledGreyedAndNamedInTheTip) {
    trayAccepts = true;
    const struct {
        const char* library;
        LibraryFault fault;
        std::string tip; // after "Velmora: "; of the other bitness, the program's follows
    } rows[] = {
        {"UltraStik.dll", LibraryFault::Missing, "UltraStik.dll missing beside Velmora.exe"},
        {"UltraStik.dll", LibraryFault::OtherBitness, "UltraStik.dll is not a "},
        {"UltraStik.dll", LibraryFault::Older, "an older UltraStik.dll without a needed function"},
        {"PacDrive.dll", LibraryFault::Missing, "PacDrive.dll missing beside Velmora.exe"},
        {"PacDrive.dll", LibraryFault::OtherBitness, "PacDrive.dll is not a "},
        {"PacDrive.dll", LibraryFault::Older, "an older PacDrive.dll without a needed function"},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const bool ultraStikFaulty = std::string(rows[row].library) == "UltraStik.dll";
        ProgramUnderTest program(1, "4");
        ASSERT_NO_FATAL_FAILURE(BreakLibrary(program, rows[row].library, rows[row].fault));
        trayTip.clear();
        program.StartServer("-servo joy8way");
        const DWORD running = WaitExit(program.server, 0);
        if (running != STILL_ACTIVE) {
            ADD_FAILURE() << "Velmora did not start; exit code " << running;
            continue;
        }

        const std::string tip =
            rows[row].fault == LibraryFault::OtherBitness
                ? rows[row].tip + (program.Is32Bit() ? "32" : "64") + "-bit library"
                : rows[row].tip;
        EXPECT_EQ(trayTip, "Velmora: " + tip);
        const int greyed = ultraStikFaulty ? IDM_POS_U360_SUBMENU : IDM_POS_SERVO_SUBMENU;
        const int working = ultraStikFaulty ? IDM_POS_SERVO_SUBMENU : IDM_POS_U360_SUBMENU;
        ExpectSubmenu(program.ControllerWindow(), working, true);
        ExpectSubmenu(program.ControllerWindow(), greyed, false);

        // Served meanwhile: the instance tells this thread's taskbar the picture.
        EXPECT_EQ(WaitExitServing(program.Start("-u360 joy4way -servo joy4way"), 20000), 1u);
        HANDLE ender = program.Start("-exit");
        EXPECT_EQ(WaitExitServing(program.server, 10000), 0u);
        EXPECT_EQ(WaitExit(ender, 5000), 1u);
        const Lines journal = program.Journal();
        const std::string faulty = ultraStikFaulty ? "UltraStik " : "PacDrive ";
        for (const std::string& line : journal) {
            EXPECT_NE(line.rfind(faulty, 0), 0u) << "the faulty library was called: " << line;
        }
        // The sound library still does all its work.
        EXPECT_TRUE(HasLine(journal, ultraStikFaulty ? "PacDrive 29" : "UltraStik 13 0 joy4way"));
    }
}

// The screen as a 24-bit BMP file.
void SaveScreen(const std::string& path) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    const DWORD stride = (width * 3 + 3) & ~3;
    std::string pixels(stride * height, '\0');
    GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof file + sizeof info + pixels.size()),
                             0, 0, sizeof file + sizeof info};
    WriteWholeFile(path, std::string(reinterpret_cast<char*>(&file), sizeof file) +
                             std::string(reinterpret_cast<char*>(&info), sizeof info) + pixels);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST(Program, TheTrayMenuForReal) {
    // One stick and no ServoStik: the "ServoStik" submenu is greyed.
    ProgramUnderTest program(1, "");
    // tools/run-win32.sh sets it where 32-bit Wine runs under the emulator.
    const bool paints = !program.Is32Bit() ||
                        GetEnvironmentVariableA("VELMORA_WIN32_WINDOWS_PAINT", nullptr, 0) > 0;
    if (!paints) {
        GTEST_SKIP() << "reads the screen: windows of 32-bit programs do not paint in Wine 8.0's "
                        "WoW64 mode, so this runs on the 64-bit build only";
    }
    // Each build's picture beside the others.
    const std::string picture =
        std::string(VELMORA_ARTIFACTS "\\tray-menu") + (program.Is32Bit() ? "-win32" : "") + ".bmp";
    program.StartServer("-u360 joy8way");
    HWND tray = FindWindowA(nullptr, "Wine System Tray");
    if (tray == nullptr) {
        // test.sh always has the tray; elsewhere (a desktop with a real
        // notification area) the icon cannot be found by its slot.
        ASSERT_EQ(GetEnvironmentVariableA("VELMORA_REQUIRE_TRAY", nullptr, 0), 0u)
            << "no Wine tray window on this display";
        GTEST_SKIP() << "no Wine tray window on this display";
    }
    RECT trayRect;
    GetWindowRect(tray, &trayRect);
    // Ours is the only icon: the first slot, a square as high as the tray.
    const int slot = trayRect.bottom - trayRect.top;
    const int iconX = trayRect.left + slot / 2, iconY = trayRect.top + slot / 2;
    MouseTo(iconX, iconY);
    MouseTo(iconX, iconY, MOUSEEVENTF_RIGHTDOWN);
    MouseTo(iconX, iconY, MOUSEEVENTF_RIGHTUP);
    const bool opened = WaitUntil([](void*) { return OpenMenus().size() == 1; }, nullptr, 5000);
    if (!opened) {
        SaveScreen(VELMORA_ARTIFACTS "\\tray-no-menu.bmp");
        POINT cursor;
        GetCursorPos(&cursor);
        FAIL() << "the right-click opened no menu; tray " << trayRect.left << "," << trayRect.top
               << " " << slot << " cursor " << cursor.x << "," << cursor.y;
    }

    RECT popup;
    GetWindowRect(OpenMenus()[0], &popup);
    EXPECT_LE(std::abs(popup.left - iconX), 2) << "the menu opens at the cursor";
    MouseTo(popup.left + 30, popup.top + 10); // "UltraStik 360"
    ASSERT_TRUE(WaitUntil([](void*) { return OpenMenus().size() == 2; }, nullptr, 5000))
        << "the submenu did not open";
    SaveScreen(picture);

    RECT sub;
    GetWindowRect(OpenMenus()[1], &sub);
    const int item = (sub.bottom - sub.top - 6) / 9;
    const std::size_t mark = program.Journal().size();
    MouseTo(sub.left + 30, sub.top + 3 + item * 4 + item / 2); // "4-way Joystick"
    MouseTo(sub.left + 30, sub.top + 3 + item * 4 + item / 2, MOUSEEVENTF_LEFTDOWN);
    MouseTo(sub.left + 30, sub.top + 3 + item * 4 + item / 2, MOUSEEVENTF_LEFTUP);
    EXPECT_TRUE(WaitForJournal(program, mark, "UltraStik 13 0 joy4way"));
    EXPECT_TRUE(WaitUntil([](void*) { return OpenMenus().empty(); }, nullptr, 5000));

    // The greyed "ServoStik" submenu does not open.
    MouseTo(iconX, iconY, MOUSEEVENTF_RIGHTDOWN);
    MouseTo(iconX, iconY, MOUSEEVENTF_RIGHTUP);
    ASSERT_TRUE(WaitUntil([](void*) { return OpenMenus().size() == 1; }, nullptr, 5000));
    GetWindowRect(OpenMenus()[0], &popup);
    const int topItem = item; // the same menu font throughout
    const int servoX = popup.left + 30, servoY = popup.top + 3 + topItem + topItem / 2;
    MouseTo(servoX, servoY);
    MouseTo(servoX, servoY, MOUSEEVENTF_LEFTDOWN);
    MouseTo(servoX, servoY, MOUSEEVENTF_LEFTUP);
    // A click opens an enabled submenu at once, and Escape would then close
    // only that; the whole menu closes only if the click opened nothing.
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitUntil([](void*) { return OpenMenus().empty(); }, nullptr, 5000))
        << "a greyed submenu opened";
    EXPECT_EQ(program.ExitServer(), 0u);
    EXPECT_NE(program.Settings().find("U360MapFile=joy4way"), std::string::npos);
}

} // namespace
