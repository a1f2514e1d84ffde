#pragma once
#include "resources/resource.h"

// The menu command ids that select a ServoStik mode, as the tray menu and the
// hot keys use them. Free of <windows.h>, like the dispatcher that uses them,
// so that both build for the host's fuzzers.
constexpr int CommandServo8Way = IDM_SERVO_8WAY;
constexpr int CommandServo4Way = IDM_SERVO_4WAY;

// "joy4way" exactly gives 4-way; every other text, "joy8way" included, gives 8-way.
int ServoCommandForName(const char* name);
