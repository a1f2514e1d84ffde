#include "tray/TrayIcon.h"

#include "tray/TrayShellSeam.h"

#include <cstring>

TrayIcon* TrayIcon::ActiveInstance = nullptr;
UINT TaskbarCreatedMessage = 0;

static const char TrayWindowClass[] = "TrayIconClass";

void CopyMultiByteCut(char* member, std::size_t size, const char* src, UINT codePage) {
    std::memset(member, 0, size);
    if (src == nullptr || size == 0) {
        return;
    }
    std::size_t used = 0;
    while (src[used] != '\0') {
        const std::size_t width =
            (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(src[used])) && src[used + 1] != '\0') ? 2
                                                                                                : 1;
        if (used + width > size - 1) {
            break;
        }
        used += width;
    }
    std::memcpy(member, src, used);
}

TrayIcon::TrayIcon() {
    ActiveInstance = this;
    std::memset(&IconRecord, 0, sizeof IconRecord);

    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version; // 148
    g_trayShell.getVersionEx(&version);
    BalloonCapable = version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5;
}

TrayIcon::~TrayIcon() {
    Withdraw();
    if (HiddenWindow != nullptr) {
        g_trayShell.destroyWindow(HiddenWindow);
    }
    if (ActiveInstance == this) {
        ActiveInstance = nullptr; // the hidden window's messages must not reach a dead icon
    }
}

int TrayIcon::Install(HINSTANCE instance, HWND owner, UINT message, const char* tip, HICON icon,
                      UINT id, int startHidden, const char* balloonText, const char* balloonTitle,
                      DWORD balloonIconFlags, UINT balloonSeconds) {
    TraySupported = LOBYTE(LOWORD(g_trayShell.getVersion())) >= 4;
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

    // Top-level, so it hears the "TaskbarCreated" broadcast; never shown.
    HiddenWindow =
        CreateWindowExA(0, TrayWindowClass, "", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, ModuleInstance, nullptr);

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
    OffTaskbar = startHidden;

    if (startHidden && BalloonCapable) {
        IconRecord.uFlags = NIF_STATE;
        IconRecord.dwState = NIS_HIDDEN;
        IconRecord.dwStateMask = NIS_HIDDEN;
    }
    AddFlags = IconRecord.uFlags;

    int result = 1;
    if (!startHidden || BalloonCapable) {
        result = g_trayShell.notifyIcon(NIM_ADD, &IconRecord);
        const int ok = result != 0;
        OffTaskbar = NotAdded = !ok;
        RestoreOnRestart = ok;
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
    if (OffTaskbar) {
        return 1; // goes out with the next add
    }
    return g_trayShell.notifyIcon(NIM_MODIFY, &IconRecord);
}

int TrayIcon::Withdraw() {
    RestoreOnRestart = 0;
    if (!TraySupported || NotAdded) {
        return 1;
    }
    IconRecord.uFlags = 0;
    if (g_trayShell.notifyIcon(NIM_DELETE, &IconRecord)) {
        OffTaskbar = 1;
        NotAdded = 1;
    }
    return NotAdded ? 1 : 0;
}

void TrayIcon::Reinstate() {
    if (!RestoreOnRestart || OffTaskbar) {
        return;
    }
    IconRecord.uFlags = AddFlags;
    const int ok = g_trayShell.notifyIcon(NIM_ADD, &IconRecord) != 0;
    OffTaskbar = !ok;
    RestoreOnRestart = ok;
}

int TrayIcon::AddAgain() {
    if (!TraySupported || !NotAdded) {
        return 0;
    }
    IconRecord.uFlags = AddFlags;
    const int ok = g_trayShell.notifyIcon(NIM_ADD, &IconRecord) != 0;
    OffTaskbar = NotAdded = !ok;
    RestoreOnRestart = ok;
    return ok;
}

int WaitForTaskbar(TrayIcon& icon, DWORD patienceMilliseconds, DWORD intervalMilliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < patienceMilliseconds) {
        // Serve sent messages only: a WM_QUIT already queued (by -exit) stays
        // for the main loop.
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, intervalMilliseconds, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (icon.AddAgain()) {
            return 1;
        }
    }
    return 0;
}
