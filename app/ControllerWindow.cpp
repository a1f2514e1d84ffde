// The hidden Settings dialog: the program's main window, where every tray
// command, hot key, tray notification and forwarded command line arrives.
#include "app/ControllerWindow.h"

#include "app/AppState.h"
#include "app/HotKeys.h"
#include "app/LineQueue.h"
#include "devices/DeviceDetection.h"
#include "devices/ServoModes.h"
#include "devices/U360ModeTable.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "settings/Autostart.h"
#include "settings/Settings.h"
#include "tray/TrayIcon.h"

#include <dbt.h>
#include <dde.h>

bool ExitRequested = false;

namespace {

bool SettingsShown = false;
DWORD SettingsRetrySince = 0;

// Ends the main loop, whose end unmakes the window and shuts down in order.
// Never the window's destruction from here: this may run inside another
// program's send, or inside a modal loop that still needs the window.
void RequestExit() {
    ExitRequested = true;
    // A menu open on this thread (the tray's, or a window menu another
    // program opened) runs a loop of its own that would hold the quit.
    EndMenu();
    PostQuitMessage(0);
    // Some loops of the system's (a caption button's, a move) end on the quit
    // without passing it on. A timer's message comes only after the quit, so
    // it wakes the main loop to find the request once such a loop is over.
    SetTimer(ControllerWindow, ExitCheckTimer, ExitCheckMilliseconds, nullptr);
}

int CheckState(HWND window, int controlId) {
    return static_cast<int>(SendDlgItemMessageA(window, controlId, BM_GETCHECK, 0, 0));
}

void OnLaunchOnStartupClicked(HWND window) {
    AppSettings.LaunchOnStartup = CheckState(window, IDC_LAUNCH_ON_STARTUP);
    if (AppSettings.LaunchOnStartup) {
        AddStartupEntry();
    } else {
        RemoveStartupEntry();
    }
}

void ShowSettingsWindow(HWND window) {
    SettingsShown = true;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
}

void HideSettingsWindow(HWND window) {
    SettingsShown = false;
    ShowWindow(window, SW_HIDE);
}

bool IsModeCommand(int id) {
    return U360ModeByCommand(id) != nullptr || id == CommandServo8Way || id == CommandServo4Way;
}

bool SelectMode(int id) {
    if (!IsModeCommand(id)) {
        return false;
    }
    // Sent while a line or a mode change waits on the taskbar (the icon's
    // update), a command would run inside it and the marks end up on the
    // wrong item: it runs after it instead.
    if (MainThreadBusy()) {
        PostMessageA(ControllerWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
        return true;
    }
    {
        // Selection waits on the taskbar too, which must not let a forwarded
        // line run in the middle of it.
        CommandInProgress busy;
        SelectU360Mode(id) || SelectServoMode(id);
    }
    KeepChoices();
    return true;
}

void RetrySave(HWND window) {
    if (SaveSettings(SettingsPath) != SaveResult::Failed ||
        GetTickCount() - SettingsRetrySince >= SettingsPatienceMilliseconds) {
        KillTimer(window, SettingsRetryTimer);
    }
}

INT_PTR OnCommand(HWND window, int id, int notification) {
    if (SelectMode(id)) {
        return TRUE;
    }
    const bool clicked = notification == BN_CLICKED;
    switch (id) {
    case IDM_ABOUT:
        DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_ABOUT), window, AboutDialogProc, 0);
        return TRUE;
    case IDM_EXIT:
        RequestExit();
        return TRUE;
    case IDC_OK:
    case IDC_CLOSE:
    case IDCANCEL: // Escape
        if (clicked) {
            HideSettingsWindow(window);
        }
        return TRUE;
    case IDC_LAUNCH_ON_STARTUP:
        if (clicked) {
            OnLaunchOnStartupClicked(window);
            KeepChoices();
        }
        return TRUE;
    case IDC_MOUSE_DRAG:
        if (clicked) {
            AppSettings.MouseDrag = CheckState(window, IDC_MOUSE_DRAG);
            KeepChoices();
        }
        return TRUE;
    case IDC_REVERSE_MOUSE:
        if (clicked) {
            AppSettings.ReverseMouse = CheckState(window, IDC_REVERSE_MOUSE);
            KeepChoices();
        }
        return TRUE;
    case IDM_SETTINGS:
        ShowSettingsWindow(window);
        return TRUE;
    default:
        return FALSE;
    }
}

// The window menu, a move or a size runs a loop of its own on the main
// thread, as a press on a box of the frame does, and the close box asks the
// user: while the window is hidden only another program can have asked for
// any of them, and it carries Velmora's work alone.
INT_PTR RefuseWhileHidden() {
    return SettingsShown ? FALSE : TRUE;
}

INT_PTR OnSysCommand(HWND window, WPARAM command) {
    if (!SettingsShown) {
        return TRUE;
    }
    switch (command) {
    case SC_MINIMIZE:
        HideSettingsWindow(window); // lives on in the tray, never minimized
        return TRUE;
    case SC_CLOSE:
        // FALSE lets the default processing turn SC_CLOSE into WM_CLOSE.
        return MessageBoxA(window, "Are You Sure?", "Exit Velmora", MB_OKCANCEL) == IDOK ? FALSE
                                                                                         : TRUE;
    default:
        return FALSE;
    }
}

INT_PTR OnHotKey(WPARAM id) {
    switch (id) {
    case HotKeyServo4Way:
        SelectMode(CommandServo4Way);
        break;
    case HotKeyServo8Way:
        SelectMode(CommandServo8Way);
        break;
    }
    return TRUE;
}

// The system's way to end a menu or other mode on this thread; the queue sends
// it when lines wait behind a loop that takes nothing. Such a loop may be
// stuck on a posted DDE message that nobody can unpack (Wine's menu loop
// peeks at it for ever): we speak no DDE, so any is another program's.
INT_PTR OnCancelMode() {
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_DDE_FIRST, WM_DDE_LAST, PM_REMOVE)) {
    }
    return FALSE; // the default processing ends the menu
}

INT_PTR OnTimer(HWND window, WPARAM timer) {
    switch (timer) {
    case HotKeyRetryTimer:
        RetryHotKeys(window);
        return TRUE;
    case SettingsRetryTimer:
        RetrySave(window);
        return TRUE;
    default:
        return FALSE; // the exit check's: it only wakes the main loop
    }
}

// Means the same from anyone, and a burst of them (a hub, or a flood from
// another program) costs one recount: the sticks are counted again before
// the next map or position goes out, or the menu shows what is attached.
INT_PTR OnDeviceChange(WPARAM event) {
    if (event == DBT_DEVNODES_CHANGED || event == DBT_DEVICEARRIVAL ||
        event == DBT_DEVICEREMOVECOMPLETE) {
        DevicesChanged();
    }
    return TRUE;
}

// Windows ends the session: the process may end without another message,
// so what the normal end does beyond the process happens now. Should the
// session go on after all (or the message come from another program), the
// libraries are opened again before their next use. An installer's Restart
// Manager closes the program so (ENDSESSION_CLOSEAPP): it ends as at -exit.
INT_PTR OnEndSession(WPARAM ending, LPARAM how) {
    if (ending) {
        CloseDeviceLibraries();
        KeepChoices();
        if ((how & ENDSESSION_CLOSEAPP) != 0) {
            RequestExit();
        }
    }
    return FALSE;
}

// The menu shows what is attached now.
INT_PTR OnTrayNotification(WPARAM icon, LPARAM mouse) {
    if (LOWORD(mouse) == WM_RBUTTONUP) {
        RefreshDevices();
    }
    return AppTrayIcon.OnTrayNotification(icon, mouse);
}

// Another program may have made the tray's hidden window the child of one
// of its own, or destroyed it: this top-level window hears the taskbar's
// restart all the same.
INT_PTR OnTaskbarCreated() {
    AppTrayIcon.KeepHiddenWindow();
    AppTrayIcon.Reinstate();
    return FALSE;
}

INT_PTR OnDestroy() {
    // The icon names this window: delete it while the window still exists, so
    // the shell never holds an icon whose window is gone.
    AppTrayIcon.Withdraw();
    PostQuitMessage(0);
    return FALSE;
}

} // namespace

void KeepChoices() {
    if (SaveSettings(SettingsPath) == SaveResult::Failed) {
        SettingsRetrySince = GetTickCount();
        SetTimer(ControllerWindow, SettingsRetryTimer, SettingsRetryMilliseconds, nullptr);
    }
}

bool SettingsWindowShown() {
    return SettingsShown;
}

// Set only while this thread makes or unmakes the Settings window itself.
bool MakingOrUnmakingController = false;

bool MakesOrUnmakesAWindow(UINT message) {
    switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_SETTEXT:
    case WM_DESTROY:
    case WM_NCDESTROY:
        return true;
    default:
        return false;
    }
}

void MakeControllerWindow(HINSTANCE instance) {
    MakingOrUnmakingController = true;
    ControllerWindow = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                          ControllerDialogProc, 0);
    MakingOrUnmakingController = false;
}

void UnmakeControllerWindow() {
    MakingOrUnmakingController = true;
    DestroyWindow(ControllerWindow); // may be gone already
    MakingOrUnmakingController = false;
}

INT_PTR CALLBACK ControllerDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Sent by anyone else (or posted, and dispatched by a modal loop), such a
    // message would rename the window, or end the program or free the
    // dialog's own data under it: only our own making and unmaking mean it.
    // A WM_CLOSE or an Exit command from anyone ends the program, cleanly.
    if (MakesOrUnmakesAWindow(message) && !MakingOrUnmakingController) {
        if (message == WM_NCDESTROY) {
            // It may really be going, with a parent another program gave it:
            // wake the main loop to look.
            PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
        }
        return TRUE;
    }
    switch (message) {
    case WM_COMMAND:
        return OnCommand(window, LOWORD(wParam), HIWORD(wParam));
    case WM_SYSCOMMAND:
        // The system keeps its own flags in the low four bits of the command.
        return OnSysCommand(window, wParam & 0xFFF0);
    case WM_CLOSE:
        RequestExit();
        return TRUE;
    case PopupSystemMenu:
    case WM_CONTEXTMENU:
    case WM_SETREDRAW: // sets the visible style: the user's own Settings would show nothing
        return RefuseWhileHidden();
    case WM_CANCELMODE:
        return OnCancelMode();
    case WM_DESTROY:
        return OnDestroy();
    case WM_QUERYENDSESSION:
        KeepChoices();
        return FALSE;
    case WM_ENDSESSION:
        return OnEndSession(wParam, lParam);
    case WM_TIMER:
        return OnTimer(window, wParam);
    case WM_DEVICECHANGE:
        return OnDeviceChange(wParam);
    case WM_HOTKEY:
        return OnHotKey(wParam);
    case TrayCallbackMessage:
        return OnTrayNotification(wParam, lParam);
    case LineNoticeMessage:
        ActOnWaitingLine(); // never reads the parameters: anyone may post this
        return TRUE;
    default:
        if (IsFrameMouseMessage(message)) {
            return RefuseWhileHidden();
        }
        // Registered at run time: no case label.
        return TaskbarCreatedMessage != 0 && message == TaskbarCreatedMessage ? OnTaskbarCreated()
                                                                              : FALSE;
    }
}

INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(window, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
