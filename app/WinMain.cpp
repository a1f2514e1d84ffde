// Velmora's entry point: the first instance builds the program and serves it
// until told to exit; a later one hands its command line over and ends.
#include "app/AppState.h"
#include "app/ControllerWindow.h"
#include "app/RemoteCommands.h"
#include "app/Startup.h"
#include "channel/InstanceChannel.h"
#include "cmdline/CommandDispatcher.h"
#include "cmdline/ProgramArguments.h"
#include "devices/DeviceDetection.h"
#include "resources/resource.h"
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
    ControllerWindow = CreateDialogParamA(AppInstance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                          ControllerDialogProc, 0);
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

void RegisterHotKeys() {
    RegisterHotKey(ControllerWindow, HotKeyServo4Way, 0, VK_F4);
    RegisterHotKey(ControllerWindow, HotKeyServo8Way, 0, VK_F8);
}

int InstallTrayIcon() {
    // Shown at once and without a balloon; the time-out is for balloons to come.
    constexpr int StartShown = 0;
    const char* const noBalloonText = nullptr;
    const char* const noBalloonTitle = nullptr;
    constexpr DWORD NoBalloonIcon = 0;
    constexpr UINT BalloonSeconds = 10;
    if (AppTrayIcon.Install(AppInstance, ControllerWindow, TrayCallbackMessage, "Velmora",
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

int RunFirstInstance(const char* commandLine) {
    GetProgramDirectory(ProgramDirectory);
    BuildSettingsPath(ProgramDirectory, SettingsPath);
    CreateControllerWindow();
    LoadSettings(SettingsPath);
    ProcessCommandLine(commandLine);
    DetectDevices();
    ShowStoredOptions();
    RegisterHotKeys();
    if (!InstallTrayIcon()) {
        return ExitNoTray;
    }
    ApplyStoredModes();

    AcceptRemoteCommands(ControllerWindow);
    const int code = RunMessageLoop(ControllerWindow);
    AcceptRemoteCommands(nullptr);

    CloseDeviceLibraries();
    SaveSettings(SettingsPath);
    return code;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The runtime's own lpCmdLine loses part of an unquoted program path that
    // holds bytes of 0x80 and above: take the arguments from the whole line.
    const char* commandLine = ProgramArguments(GetCommandLineA());
    AppInstance = instance;
    AppChannel.Start(instance, OnRemoteCommandLine);
    if (AppChannel.role == Client) {
        return AppChannel.Send(0, commandLine) ? ExitHandedOver : ExitNoInstance;
    }
    RemoteCommandsGuard turnAwayOnExit;
    return RunFirstInstance(commandLine);
}
