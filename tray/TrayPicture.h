#pragma once
#include <windows.h>

// An icon resource of the module in the frame drawn for the small-icon size
// of the display (16 pixels at 100 %, 32 at 200 %), as the notification area
// and a window's caption show it. The handle is shared: the system keeps it
// for the life of the module and nobody destroys it. Null when the resource
// is missing.
HICON LoadSmallIcon(HINSTANCE module, int iconId);
