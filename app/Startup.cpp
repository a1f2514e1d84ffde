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

void InstallTrayIcon() {
    // Shown at once and without a balloon; the time-out is for balloons to come.
    constexpr int StartShown = 0;
    const char* const noBalloonText = nullptr;
    const char* const noBalloonTitle = nullptr;
    constexpr DWORD NoBalloonIcon = 0;
    constexpr UINT BalloonSeconds = 10;
    char tip[sizeof AppTrayIcon.IconRecord.szTip] = {};
    ComposeTip(tip, sizeof tip);
    // Without a taskbar (a front end as the shell, or Explorer still coming
    // up) everything works all the same; the icon goes on when one takes it.
    AppTrayIcon.Install(AppInstance, ControllerWindow, TrayCallbackMessage, tip,
                        LoadSmallIcon(AppInstance, IDI_JOYSTICK_SMALL), IDR_TRAYMENU, StartShown,
                        noBalloonText, noBalloonTitle, NoBalloonIcon, BalloonSeconds);
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
    // While this thread has no window yet: a file another program holds for
    // a moment is waited for, and no broadcast waits on this thread meanwhile.
    LoadSettings(SettingsPath);
    CreateControllerWindow();
    // From here the queue can tell a main thread that stopped answering.
    DirectLinesTo(ControllerWindow);
    // While the flag is on, Windows starts this Velmora.exe at log-on: the
    // value follows a folder that moved, or settings copied from elsewhere.
    if (AppSettings.LaunchOnStartup) {
        AddStartupEntry();
    }
    // Before any call into either library: a library found faulty is never called.
    CheckVendorLibraries(ProgramDirectory);
    // Only a line that ends the program, or one without switches, is acted
    // on here (WinMain hands any other to an instance of its own). Before
    // the devices are counted it only records its modes, which
    // ApplyStoredModes then loads into the sticks once.
    ProcessCommandLine(commandLine);
    DetectDevices();
    ShowStoredOptions();
    RegisterHotKeys(ControllerWindow);
    InstallTrayIcon();
    // After the icon exists, so that the mode's picture reaches the tray.
    ApplyStoredModes();
    KeepChoices();

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
        if (SettingsWindowShown() && IsDialogMessageA(controller, &message)) {
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
    } else if (AppSettings.U360MapFile[0] != '\0') {
        ApplyU360Map(AppSettings.U360MapFile);
    }
    SelectServoMode(ServoCommandForName(AppSettings.ServoMapFile));
}
