#pragma once
#include <windows.h>
#include <shellapi.h>

// The shell and version calls of the tray icon, replaceable so that tests can
// record every Shell_NotifyIconA call and make it fail.
struct TrayShellSeam {
    BOOL(WINAPI* notifyIcon)(DWORD message, PNOTIFYICONDATAA record);
    DWORD(WINAPI* getVersion)();
    BOOL(WINAPI* getVersionEx)(LPOSVERSIONINFOA info);
    BOOL(WINAPI* destroyWindow)(HWND window);
};

extern TrayShellSeam TrayShellCalls;
