#pragma once
#include <windows.h>

// Plain process-wide data of the application core.
extern HINSTANCE AppInstance; // the module, for every resource load
extern HWND ControllerWindow; // the hidden Settings dialog, the program's main window
