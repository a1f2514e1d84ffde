#pragma once
#include <windows.h>

// The tray icon reports mouse events to the main window with this message.
// It equals the command id of "4-way Joystick" by coincidence only: one is a
// message number, the other a WM_COMMAND id.
constexpr UINT TrayCallbackMessage = WM_APP + 10;

// Hot keys registered on the main window, without modifiers.
constexpr int HotKeyServo4Way = 0; // F4
constexpr int HotKeyServo8Way = 1; // F8

// Messages by which the system makes, renames or unmakes a window. Any
// program can send or post them too; the Settings window takes them only
// while the two calls below make or unmake it.
bool MakesOrUnmakesAWindow(UINT message);

// Set on the main thread once an Exit command or a WM_CLOSE asked the
// program to end; the main loop ends on it even if another loop took the
// quit message.
extern bool ExitRequested;
// The main window's timer that wakes the main loop to find that request.
constexpr UINT_PTR ExitCheckTimer = 1;
constexpr UINT ExitCheckMilliseconds = 100;

// Creates ControllerWindow, hidden, from the Settings dialog template.
void MakeControllerWindow(HINSTANCE instance);
// Destroys ControllerWindow, if it still exists.
void UnmakeControllerWindow();

INT_PTR CALLBACK ControllerDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
