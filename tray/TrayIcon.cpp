#include "tray/TrayIcon.h"

#include "tray/MultiByteCut.h"
#include "tray/TrayShellSeam.h"

#include <cstring>

TrayIcon* TrayIcon::ActiveInstance = nullptr;
UINT TaskbarCreatedMessage = 0;

static const char TrayWindowClass[] = "TrayIconClass";

// Top-level, so it hears the "TaskbarCreated" broadcast; never shown.
static HWND MakeHiddenWindow(HINSTANCE instance) {
    return CreateWindowExA(0, TrayWindowClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
}

TrayIcon::TrayIcon() {
    ActiveInstance = this;
    std::memset(&IconRecord, 0, sizeof IconRecord);

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version; // 148
    TrayShellCalls.getVersionEx(&version);
    BalloonCapable = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

TrayIcon::~TrayIcon() {
    Withdraw();
    if (HiddenWindow != nullptr) {
        TrayShellCalls.destroyWindow(HiddenWindow);
    }
    if (ActiveInstance == this) {
        ActiveInstance = nullptr; // the hidden window's messages must not reach a dead icon
    }
}

int TrayIcon::Install(HINSTANCE instance, HWND owner, UINT message, const char* tip, HICON icon,
                      UINT id, int startHidden, const char* balloonText, const char* balloonTitle,
                      DWORD balloonIconFlags, UINT balloonSeconds) {
    TraySupported = LOBYTE(LOWORD(TrayShellCalls.getVersion())) >= 4;
    if (!TraySupported) {
        return 0;
    }

    ModuleInstance = instance;
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = TrayWindowProc;
    windowClass.hInstance = ModuleInstance;
    windowClass.lpszClassName = TrayWindowClass;
    RegisterClassExA(&windowClass); // already registered by an earlier call: fine

    HiddenWindow = MakeHiddenWindow(ModuleInstance);

    IconRecord.cbSize = TrayRecordSize;
    IconRecord.hWnd = owner != nullptr ? owner : HiddenWindow;
    IconRecord.uID = id;
    IconRecord.hIcon = icon;
    IconRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    IconRecord.uCallbackMessage = message;
    CopyMultiByteCut(IconRecord.szTip, sizeof IconRecord.szTip, tip);

    const bool balloon = BalloonCapable && balloonText != nullptr;
    if (balloon) {
        IconRecord.uFlags |= NIF_INFO;
        CopyMultiByteCut(IconRecord.szInfo, sizeof IconRecord.szInfo, balloonText);
        CopyMultiByteCut(IconRecord.szInfoTitle, sizeof IconRecord.szInfoTitle, balloonTitle);
        IconRecord.uTimeout = balloonSeconds * 1000;
        IconRecord.dwInfoFlags = balloonIconFlags;
    }

    CommandWindow = IconRecord.hWnd;

    if (startHidden && BalloonCapable) {
        IconRecord.uFlags = NIF_STATE;
        IconRecord.dwState = NIS_HIDDEN;
        IconRecord.dwStateMask = NIS_HIDDEN;
    }
    AddFlags = IconRecord.uFlags;

    int result = 1;
    if (!startHidden || BalloonCapable) {
        result = TrayShellCalls.notifyIcon(NIM_ADD, &IconRecord);
        if (result != 0) {
            State = TrayState::Shown;
        } else {
            // No taskbar yet (Explorer still starting at log-on) or none at
            // all (a front end as the shell): everything works without the
            // icon, which goes on once a taskbar takes it.
            State = TrayState::Waiting;
            KeepTrying(ReinstateRetryMilliseconds);
        }
    }
    if (balloon) {
        IconRecord.szInfo[0] = '\0'; // the balloon shows once, not on every later add
    }
    return result;
}

int TrayIcon::SetIcon(HICON icon) {
    if (!TraySupported) {
        return 0;
    }
    IconRecord.uFlags = NIF_ICON;
    IconRecord.hIcon = icon;
    if (State != TrayState::Shown && State != TrayState::Leaving) {
        return 1; // goes out with the next add
    }
    return TrayShellCalls.notifyIcon(NIM_MODIFY, &IconRecord);
}

int TrayIcon::Withdraw() {
    if (HiddenWindow != nullptr) {
        KillTimer(HiddenWindow, ReinstateTimer);
    }
    if (!TraySupported || State == TrayState::NotAdded || State == TrayState::Waiting) {
        State = TrayState::NotAdded; // never on a taskbar: nothing to delete
        return 1;
    }
    IconRecord.uFlags = 0;
    const bool deleted = TrayShellCalls.notifyIcon(NIM_DELETE, &IconRecord) != 0;
    // Off the taskbar, a refused delete means there was nothing left to delete.
    State = deleted || State == TrayState::OffTaskbar ? TrayState::NotAdded : TrayState::Leaving;
    return State == TrayState::NotAdded ? 1 : 0;
}

void TrayIcon::Reinstate() {
    if (State == TrayState::Shown) {
        State = TrayState::OffTaskbar;
    }
    if (State == TrayState::OffTaskbar || State == TrayState::Waiting) {
        KeepTrying(ReinstateFirstMilliseconds);
    }
}

void TrayIcon::KeepTrying(UINT firstMilliseconds) {
    ReinstateSince = GetTickCount();
    SetTimer(HiddenWindow, ReinstateTimer, firstMilliseconds, nullptr);
}

void TrayIcon::ReinstateNow() {
    if (State != TrayState::OffTaskbar && State != TrayState::Waiting) {
        KillTimer(HiddenWindow, ReinstateTimer);
        return;
    }
    IconRecord.uFlags = AddFlags;
    // Anyone can broadcast "TaskbarCreated": when the icon is still there the
    // add fails as a duplicate, and a modify with the whole record shows the
    // current picture instead.
    if (TrayShellCalls.notifyIcon(NIM_ADD, &IconRecord) ||
        TrayShellCalls.notifyIcon(NIM_MODIFY, &IconRecord)) {
        State = TrayState::Shown;
        KillTimer(HiddenWindow, ReinstateTimer);
    } else if (GetTickCount() - ReinstateSince >= ReinstatePatienceMilliseconds) {
        KillTimer(HiddenWindow, ReinstateTimer); // the next "TaskbarCreated" tries again
    } else {
        SetTimer(HiddenWindow, ReinstateTimer, ReinstateRetryMilliseconds, nullptr);
    }
}

void TrayIcon::KeepHiddenWindow() {
    if (!TraySupported || ModuleInstance == nullptr) {
        return;
    }
    if (IsWindow(HiddenWindow)) {
        if (GetAncestor(HiddenWindow, GA_PARENT) != GetDesktopWindow()) {
            SetParent(HiddenWindow, nullptr);
        }
        return;
    }
    const HWND gone = HiddenWindow;
    HiddenWindow = MakeHiddenWindow(ModuleInstance);
    if (IconRecord.hWnd == gone) {
        IconRecord.hWnd = CommandWindow = HiddenWindow;
    }
}

int TrayIcon::SetTip(const char* tip) {
    CopyMultiByteCut(IconRecord.szTip, sizeof IconRecord.szTip, tip);
    if (!TraySupported || State != TrayState::Shown) {
        return 1; // goes out with the next add
    }
    IconRecord.uFlags = NIF_TIP;
    return TrayShellCalls.notifyIcon(NIM_MODIFY, &IconRecord);
}

// The mouse side: the popup menu, the default item and the hidden window's procedure.
namespace {

// The icon's menu resource and its first submenu, the popup; destroying the
// menu destroys the popup with it.
struct PopupMenu {
    PopupMenu(HINSTANCE module, WORD menuId)
        : menu(LoadMenuA(module, MAKEINTRESOURCEA(menuId))),
          popup(menu != nullptr ? GetSubMenu(menu, 0) : nullptr) {}
    ~PopupMenu() {
        if (menu != nullptr) {
            DestroyMenu(menu);
        }
    }
    PopupMenu(const PopupMenu&) = delete;
    PopupMenu& operator=(const PopupMenu&) = delete;

    HMENU menu;
    HMENU popup;
};

// Takes value out of the list, then puts it at the end when on.
int SetInList(IdList& list, int value, int on) {
    int kept = 0;
    for (int i = 0; i < list.count; ++i) {
        if (list.values[i] != value) {
            list.values[kept++] = list.values[i];
        }
    }
    list.count = kept;
    if (on && list.count < IdList::Capacity) {
        list.values[list.count++] = value;
    }
    return 1;
}

} // namespace

int TrayIcon::SetItemChecked(int commandId, int on) {
    return SetInList(CheckedIds, commandId, on);
}

int TrayIcon::SetPositionGreyed(int position, int on) {
    return SetInList(GreyedPositions, position, on);
}

void TrayIcon::AdjustPopup(HMENU) {}

int TrayIcon::ShowPopupMenu(HWND target) {
    PopupMenu menu(ModuleInstance, LOWORD(IconRecord.uID));
    HMENU popup = menu.popup;
    if (popup == nullptr) {
        return 0;
    }
    // Walked by command, so the check marks reach the items of both submenus.
    for (int id : CheckedIds) {
        CheckMenuItem(popup, static_cast<UINT>(id), MF_BYCOMMAND | MF_CHECKED);
    }
    for (int position : GreyedPositions) {
        EnableMenuItem(popup, static_cast<UINT>(position), MF_BYPOSITION | MF_GRAYED);
    }
    AdjustPopup(popup);

    POINT cursor = {};
    GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere, and without the WM_NULL it would pop up again on the next
    // click only after a second try (the classic tray-menu traps).
    SetForegroundWindow(IconRecord.hWnd);
    TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, target, nullptr);
    PostMessageA(IconRecord.hWnd, WM_NULL, 0, 0);
    return 1;
}

int TrayIcon::PostDefaultCommand(HWND target) {
    SetForegroundWindow(IconRecord.hWnd);
    UINT command = static_cast<UINT>(DefaultItem);
    if (DefaultByPosition) {
        PopupMenu menu(ModuleInstance, LOWORD(IconRecord.uID));
        if (menu.popup == nullptr) {
            return 0;
        }
        command = GetMenuItemID(menu.popup, DefaultItem);
    }
    PostMessageA(target, WM_COMMAND, command, 0);
    return 1;
}

int TrayIcon::OnTrayNotification(WPARAM wParam, LPARAM lParam) {
    if (wParam != IconRecord.uID) {
        return 0;
    }
    HWND target = CommandWindow != nullptr ? CommandWindow : IconRecord.hWnd;
    if (target == nullptr) {
        return 0;
    }
    switch (LOWORD(lParam)) {
    case WM_RBUTTONUP:
        return ShowPopupMenu(target);
    case WM_LBUTTONDBLCLK:
        return PostDefaultCommand(target);
    default:
        return 1;
    }
}

LRESULT CALLBACK TrayIcon::TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // An if-chain, not a switch: the "TaskbarCreated" number is registered at
    // run time, and so is the callback message an icon is given.
    TrayIcon* self = ActiveInstance;
    if (self == nullptr || window != self->HiddenWindow) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (TaskbarCreatedMessage != 0 && message == TaskbarCreatedMessage) {
        self->Reinstate();
        return 0;
    }
    if (message == self->IconRecord.uCallbackMessage) {
        return self->OnTrayNotification(wParam, lParam);
    }
    if (message == WM_TIMER && wParam == ReinstateTimer) {
        self->ReinstateNow();
        return 0;
    }
    switch (message) {
    case WM_CLOSE: // nobody closes it: it must go on hearing "TaskbarCreated"
    // Nor makes it "visible", or opens its window menu, a move or a size loop
    // on the main thread: it carries Velmora's work alone, and only another
    // program could ask.
    case WM_SETREDRAW:
    case WM_SYSCOMMAND:
    case WM_CONTEXTMENU:
    case PopupSystemMenu:
        return 0;
    default:
        return IsFrameMouseMessage(message) ? 0 : DefWindowProcA(window, message, wParam, lParam);
    }
}
