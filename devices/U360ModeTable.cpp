#include "devices/U360ModeTable.h"

#include "devices/ModeIds.h"

#include <cstring>

// Menu order: the "UltraStik 360" submenu lists the same modes in these rows.
const ModeEntry U360ModeTable[U360ModeCount] = {
    {IDM_U360_MOUSE, "mouse"},         {IDM_U360_ANALOG, "analog"},
    {IDM_U360_JOY8WAY, "joy8way"},     {IDM_U360_EASYJOY8WAY, "easyjoy8way"},
    {IDM_U360_JOY4WAY, "joy4way"},     {IDM_U360_DJOY4WAY, "djoy4way"},
    {IDM_U360_RDJOY4WAY, "rdjoy4way"}, {IDM_U360_JOY2WAY, "joy2way"},
    {IDM_U360_VJOY2WAY, "vjoy2way"},
};

int ServoCommandForName(const char* name) {
    return std::strcmp(name, "joy4way") == 0 ? CommandServo4Way : CommandServo8Way;
}
