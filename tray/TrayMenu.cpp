// The mouse side of the tray icon: the popup menu, the default item and the
// hidden window's procedure.
#include "tray/TrayIcon.h"

#include <algorithm>

static int SetInList(std::vector<int>& list, int value, int on) {
    auto found = std::find(list.begin(), list.end(), value);
    if (found != list.end()) {
        list.erase(found);
    }
    if (on) {
        list.push_back(value);
    }
    return 1;
}

int TrayIcon::SetItemChecked(int commandId, int on) {
    return SetInList(CheckedIds, commandId, on);
}

int TrayIcon::SetPositionGreyed(int position, int on) {
    return SetInList(GreyedPositions, position, on);
}

void TrayIcon::AdjustPopup(HMENU) {}

HMENU TrayIcon::LoadPopup(HMENU* loadedMenu) const {
    *loadedMenu = LoadMenuA(ModuleInstance, MAKEINTRESOURCEA(LOWORD(IconRecord.uID)));
    if (*loadedMenu == nullptr) {
        return nullptr;
    }
    HMENU popup = GetSubMenu(*loadedMenu, 0);
    if (popup == nullptr) {
        DestroyMenu(*loadedMenu);
        *loadedMenu = nullptr;
    }
    return popup;
}

int TrayIcon::ShowPopupMenu(HWND target) {
    HMENU menu = nullptr;
    HMENU popup = LoadPopup(&menu);
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

    DestroyMenu(popup);
    DestroyMenu(menu);
    return 1;
}

int TrayIcon::PostDefaultCommand(HWND target) {
    SetForegroundWindow(IconRecord.hWnd);
    UINT command = static_cast<UINT>(DefaultItem);
    if (DefaultByPosition) {
        HMENU menu = nullptr;
        HMENU popup = LoadPopup(&menu);
        if (popup == nullptr) {
            return 0;
        }
        command = GetMenuItemID(popup, DefaultItem);
        DestroyMenu(popup);
        DestroyMenu(menu);
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
    return DefWindowProcA(window, message, wParam, lParam);
}
