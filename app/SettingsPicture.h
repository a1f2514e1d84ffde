#pragma once
#include <windows.h>

// Puts into the Settings window the picture drawn for the display's scaling:
// the largest one no larger than the 100 % picture grown to that scaling (the
// 100 % one below it), shown pixel for pixel, its frame fitted to it and
// centred where the template placed the frame. The template's own picture is
// released; the chosen one lives as long as the process. Where the frame or
// the picture is missing, the template's picture stays.
void ShowSettingsPicture(HINSTANCE module, HWND settings);
