// The hidden Settings dialog: the program's main window, where every tray
// command, hot key, tray notification and forwarded command line arrives.
#include "app/ControllerWindow.h"

#include "app/AppState.h"
#include "app/HotKeys.h"
#include "app/LineQueue.h"
#include "devices/DeviceDetection.h"
#include "devices/ServoModes.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "settings/Autostart.h"
#include "settings/Settings.h"
#include "tray/TrayIcon.h"

#include <dbt.h>
#include <dde.h>

bool ExitRequested = false;

namespace {

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

bool SelectMode(int id) {
    // Selection waits on the taskbar (the icon's update), which must not let a
    // forwarded line run in the middle of it.
    CommandInProgress busy;
    return SelectU360Mode(id) || SelectServoMode(id);
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
            ShowWindow(window, SW_HIDE);
        }
        return TRUE;
    case IDC_LAUNCH_ON_STARTUP:
        if (clicked) {
            OnLaunchOnStartupClicked(window);
        }
        return TRUE;
    case IDC_MOUSE_DRAG:
        if (clicked) {
            AppSettings.MouseDrag = CheckState(window, IDC_MOUSE_DRAG);
        }
        return TRUE;
    case IDC_REVERSE_MOUSE:
        if (clicked) {
            AppSettings.ReverseMouse = CheckState(window, IDC_REVERSE_MOUSE);
        }
        return TRUE;
    case IDM_SETTINGS:
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        return TRUE;
    default:
        return FALSE;
    }
}

// The taskbar's "show the window menu", which the headers keep to themselves.
constexpr UINT PopupSystemMenu = 0x0313;

// The window menu runs a loop of its own on the main thread; while the
// window is hidden only another program can have asked for it.
INT_PTR RefuseWindowMenuWhileHidden(HWND window) {
    return IsWindowVisible(window) ? FALSE : TRUE;
}

INT_PTR OnSysCommand(HWND window, WPARAM command) {
    switch (command) {
    case SC_KEYMENU:
    case SC_MOUSEMENU:
        return RefuseWindowMenuWhileHidden(window);
    case SC_MINIMIZE:
        ShowWindow(window, SW_HIDE); // lives on in the tray, never minimized
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
    if (timer == HotKeyRetryTimer) {
        RetryHotKeys(window);
        return TRUE;
    }
    return FALSE; // the exit check's: it only wakes the main loop
}

// A recount means the same from anyone. The broadcast may come while a
// mode change waits on the taskbar, after its device calls: the next map or
// position reaches the sticks counted now.
INT_PTR OnDeviceChange(WPARAM event) {
    if (event == DBT_DEVNODES_CHANGED || event == DBT_DEVICEARRIVAL ||
        event == DBT_DEVICEREMOVECOMPLETE) {
        DetectDevices();
    }
    return TRUE;
}

// Windows ends the session: the process may end without another message,
// so what the normal end does beyond the process happens now.
INT_PTR OnEndSession(WPARAM ending) {
    if (ending) {
        CloseDeviceLibraries();
        SaveSettings(SettingsPath);
    }
    return FALSE;
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
        return RefuseWindowMenuWhileHidden(window);
    case WM_CANCELMODE:
        return OnCancelMode();
    case WM_DESTROY:
        return OnDestroy();
    case WM_QUERYENDSESSION:
        SaveSettings(SettingsPath);
        return FALSE;
    case WM_ENDSESSION:
        return OnEndSession(wParam);
    case WM_TIMER:
        return OnTimer(window, wParam);
    case WM_DEVICECHANGE:
        return OnDeviceChange(wParam);
    case WM_HOTKEY:
        return OnHotKey(wParam);
    case TrayCallbackMessage:
        return AppTrayIcon.OnTrayNotification(wParam, lParam);
    case LineNoticeMessage:
        ActOnWaitingLine(); // never reads the parameters: anyone may post this
        return TRUE;
    default:
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
