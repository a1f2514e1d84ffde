// Startup of the first instance, its main loop and its shutdown.
#include "app/Startup.h"

#include "app/AppState.h"
#include "app/ControllerWindow.h"
#include "app/HotKeys.h"
#include "app/LineQueue.h"
#include "app/SettingsPicture.h"
#include "channel/ChannelWindow.h"
#include "cmdline/CommandDispatcher.h"
#include "devices/DeviceDetection.h"
#include "devices/ServoModes.h"
#include "devices/U360ModeTable.h"
#include "devices/U360Modes.h"
#include "devices/VendorCheck.h"
#include "resources/resource.h"
#include "settings/Autostart.h"
#include "settings/ProgramDirectory.h"
#include "settings/Settings.h"
#include "tray/TaskbarWait.h"
#include "tray/TrayIcon.h"
#include "tray/TrayPicture.h"

namespace {

HICON LoadAppIcon(int id) {
    return LoadIconA(AppInstance, MAKEINTRESOURCEA(id));
}

void CreateControllerWindow() {
    MakeControllerWindow(AppInstance);
    ShowSettingsPicture(AppInstance, ControllerWindow);
    SendMessageA(ControllerWindow, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadAppIcon(IDI_VELMORA)));
    SendMessageA(ControllerWindow, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadSmallIcon(AppInstance, IDI_JOYSTICK_SMALL)));
}

void ShowStoredOptions() {
    SendDlgItemMessageA(ControllerWindow, IDC_LAUNCH_ON_STARTUP, BM_SETCHECK,
                        AppSettings.LaunchOnStartup, 0);
    SendDlgItemMessageA(ControllerWindow, IDC_MOUSE_DRAG, BM_SETCHECK, AppSettings.MouseDrag, 0);
    SendDlgItemMessageA(ControllerWindow, IDC_REVERSE_MOUSE, BM_SETCHECK, AppSettings.ReverseMouse,
                        0);
}

int InstallTrayIcon() {
    // Shown at once and without a balloon; the time-out is for balloons to come.
    constexpr int StartShown = 0;
    const char* const noBalloonText = nullptr;
    const char* const noBalloonTitle = nullptr;
    constexpr DWORD NoBalloonIcon = 0;
    constexpr UINT BalloonSeconds = 10;
    // The tip names a faulty vendor library and a hot key another program
    // holds: the only place that says why a submenu is greyed when the
    // sticks are plugged in, or why F4 does nothing.
    char tip[sizeof AppTrayIcon.IconRecord.szTip] = {};
    ComposeTip(tip, sizeof tip);
    if (AppTrayIcon.Install(AppInstance, ControllerWindow, TrayCallbackMessage, tip,
                            LoadSmallIcon(AppInstance, IDI_JOYSTICK_SMALL), IDR_TRAYMENU,
                            StartShown, noBalloonText, noBalloonTitle, NoBalloonIcon,
                            BalloonSeconds)) {
        return 1;
    }
    if (!AppTrayIcon.TraySupported) {
        return 0; // no notification area on this system: no point waiting for one
    }
    return WaitForTaskbar(AppTrayIcon, TrayPatienceMilliseconds, TrayRetryMilliseconds);
}

} // namespace

int HandOverExitCode(HandOver result) {
    switch (result) {
    case HandOver::Acted:
        return ExitHandedOver;
    case HandOver::NotDone:
        return ExitNotDone;
    default:
        return ExitUnfinished;
    }
}

int RunFirstInstance(const char* commandLine) {
    GetProgramDirectory(ProgramDirectory);
    BuildSettingsPath(ProgramDirectory, SettingsPath);
    CreateControllerWindow();
    // From here the queue can tell a main thread that stopped answering.
    DirectLinesTo(ControllerWindow);
    LoadSettings(SettingsPath);
    // While the flag is on, Windows starts this Velmora.exe at log-on: the
    // value follows a folder that moved, or settings copied from elsewhere.
    if (AppSettings.LaunchOnStartup) {
        AddStartupEntry();
    }
    // Before the first call into either library, which the command line's
    // -servo already makes; a library found faulty is never called.
    CheckVendorLibraries(ProgramDirectory);
    // Before detection: a -servo here already reaches the ServoStiks, and a
    // -u360 is only recorded, for ApplyStoredModes to load into the sticks.
    ProcessCommandLine(commandLine);
    DetectDevices();
    ShowStoredOptions();
    RegisterHotKeys(ControllerWindow);
    if (!InstallTrayIcon()) {
        return ExitNoTray;
    }
    // After the icon exists, so that the mode's picture reaches the tray.
    ApplyStoredModes();

    // Lines handed over are acted on only now that the devices are counted
    // and the stored modes applied; whatever arrived meanwhile has waited.
    AcceptLines();
    const int code = RunMessageLoop(ControllerWindow);
    CloseLines();

    CloseDeviceLibraries();
    SaveSettings(SettingsPath);
    return code;
}

bool CarriesACallback(const MSG& message) {
    // Wine's DispatchMessage calls a timer message's lParam as a function,
    // whoever posted it; our timers have none.
    constexpr UINT SystemTimer = 0x0118; // WM_SYSTIMER, which the headers keep to themselves
    return (message.message == WM_TIMER || message.message == SystemTimer) && message.lParam != 0;
}

namespace {

// The main loop's next message; false on a quit. It waits on the channel
// thread alongside the messages: should that thread end unasked (Wine ends
// it when it fails to copy a message another program sent with absurd
// sizes), it is started anew. PeekMessage, unlike GetMessage, has no error
// return that could end the loop on such a message.
bool NextMessage(MSG& message) {
    for (;;) {
        if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            return message.message != WM_QUIT;
        }
        HANDLE channel = ChannelThread();
        const DWORD handles = channel != nullptr ? 1 : 0;
        if (MsgWaitForMultipleObjects(handles, &channel, FALSE, INFINITE, QS_ALLINPUT) ==
                WAIT_OBJECT_0 &&
            handles == 1) {
            StartChannel(AppInstance, VelmoraChannelNames, LineHandlers);
        }
    }
}

} // namespace

int RunMessageLoop(HWND controller) {
    // The About box runs a dialog loop of its own; the Settings window, once
    // shown, answers Tab, Enter and Escape through this one.
    // It ends on the quit, on an exit request whose quit another loop took,
    // or when another program has destroyed the window (by destroying a
    // window it made the parent of ours).
    MSG message = {};
    while (!ExitRequested && IsWindow(controller) && NextMessage(message)) {
        if (MakesOrUnmakesAWindow(message.message)) {
            continue; // the system sends these; posted, they come from someone else
        }
        if (CarriesACallback(message)) {
            continue;
        }
        if (IsWindowVisible(controller) && IsDialogMessageA(controller, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    UnmakeControllerWindow();
    // Our own quit always carries 0. Any program can post a WM_QUIT, which ends
    // the program as cleanly, but its code is not ours to report.
    return ExitNormal;
}

void ApplyStoredModes() {
    if (const ModeEntry* stored = U360ModeByName(AppSettings.U360MapFile)) {
        SelectU360Mode(stored->commandId);
    }
    SelectServoMode(ServoCommandForName(AppSettings.ServoMapFile));
}
