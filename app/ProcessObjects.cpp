// The two process-wide objects, in one place so that their order is fixed:
// constructed in this order before WinMain runs, destroyed in reverse after it
// returns (switch table, then the tray icon).
#include "cmdline/SwitchTable.h"
#include "tray/TrayIcon.h"

TrayIcon AppTrayIcon;
SwitchTable AppSwitchTable;

// Registered after the tray icon exists, before WinMain.
static const bool TaskbarCreatedRegistered =
    (TaskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated")) != 0;
