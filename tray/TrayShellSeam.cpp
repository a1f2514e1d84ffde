#include "tray/TrayShellSeam.h"

TrayShellSeam TrayShellCalls = {Shell_NotifyIconA, GetVersion, GetVersionExA, DestroyWindow};
