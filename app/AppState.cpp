#include "app/AppState.h"

HINSTANCE AppInstance = nullptr;
HWND ControllerWindow = nullptr;
