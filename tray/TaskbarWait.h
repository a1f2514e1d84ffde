#pragma once
#include "tray/TrayIcon.h"

// Startup's patience with a taskbar that is not there yet (Windows starts
// programs from the Run key before the shell is ready): tries the add of an
// icon whose Install failed again every interval until the patience runs out.
// Gives nonzero once the icon is on the taskbar. Sent messages are served
// while it waits; posted ones wait for the main loop.
int WaitForTaskbar(TrayIcon& icon, DWORD patienceMilliseconds, DWORD intervalMilliseconds);
