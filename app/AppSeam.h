#pragma once
#include <windows.h>

// The main window's message box, replaceable so that tests can answer the
// exit confirmation.
struct AppSeam {
    int(WINAPI* messageBox)(HWND owner, LPCSTR text, LPCSTR caption, UINT style);
};

extern AppSeam g_appSeam;
