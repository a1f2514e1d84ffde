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
// A settings file another program held when a choice changed is tried again
// this often, for this long, then at the next change or the end.
constexpr UINT_PTR SettingsRetryTimer = 3;
constexpr UINT SettingsRetryMilliseconds = 1000;
constexpr DWORD SettingsPatienceMilliseconds = 60000;

// Writes the choices to the settings file when they changed: after every
// line, menu command, hot key and box, so that a power cut keeps them.
void KeepChoices();

// Whether the user has the Settings window open. Only this says so: another
// program can set the window's visible style (WM_SETREDRAW) or show it.
bool SettingsWindowShown();

// Creates ControllerWindow, hidden, from the Settings dialog template.
void MakeControllerWindow(HINSTANCE instance);
// Destroys ControllerWindow, if it still exists.
void UnmakeControllerWindow();

INT_PTR CALLBACK ControllerDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
