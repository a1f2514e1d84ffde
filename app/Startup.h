#pragma once
#include <windows.h>

// Exit codes of Velmora.exe; the normal end gives the message loop's code, 0.
constexpr int ExitNoTray = 0;     // the tray icon could not be added, however long we waited
constexpr int ExitHandedOver = 1; // a running instance acted on our command line
constexpr int ExitNoInstance = 2; // another instance is marked running but could not be reached

// How long startup waits for a taskbar to add the icon to, and how often it tries.
constexpr DWORD TrayPatienceMilliseconds = 30000;
constexpr DWORD TrayRetryMilliseconds = 250;

int RunMessageLoop(HWND controller);

// Loads the stored UltraStik 360 map (when it names a mode) and ServoStik
// mode into the sticks, once the tray icon exists to show them.
void ApplyStoredModes();
