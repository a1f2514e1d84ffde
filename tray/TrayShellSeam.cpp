#include "tray/TrayShellSeam.h"

TrayShellSeam g_trayShell = {Shell_NotifyIconA, GetVersion, GetVersionExA, DestroyWindow};
