#pragma once
#include <windows.h>

#include <vector>

// Input as a user gives it, and the popup menus it opens: shared by run.sh's
// DesktopHelper and the end-to-end tests.

// The visible popup menu windows, outermost (leftmost) first.
std::vector<HWND> OpenMenus();

// Moves the mouse to a screen point, pressing or releasing buttons there
// (MOUSEEVENTF_LEFTDOWN, ...), then gives the receiver a moment to react.
void MouseTo(int x, int y, DWORD buttons = 0);

// Presses and releases one key.
void PressKey(WORD key);
