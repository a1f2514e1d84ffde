#include "devices/U360ModeTable.h"

#include "resources/resource.h"

#include <cstring>

const ModeEntry U360ModeTable[U360ModeCount] = {
    {IDM_U360_MOUSE, "mouse"},         {IDM_U360_ANALOG, "analog"},
    {IDM_U360_JOY8WAY, "joy8way"},     {IDM_U360_EASYJOY8WAY, "easyjoy8way"},
    {IDM_U360_JOY4WAY, "joy4way"},     {IDM_U360_DJOY4WAY, "djoy4way"},
    {IDM_U360_RDJOY4WAY, "rdjoy4way"}, {IDM_U360_JOY2WAY, "joy2way"},
    {IDM_U360_VJOY2WAY, "vjoy2way"},
};

const ModeEntry* U360ModeByName(const char* name) {
    for (const ModeEntry& row : U360ModeTable) {
        if (std::strcmp(row.name, name) == 0) {
            return &row;
        }
    }
    return nullptr;
}

const ModeEntry* U360ModeByCommand(int commandId) {
    for (const ModeEntry& row : U360ModeTable) {
        if (row.commandId == commandId) {
            return &row;
        }
    }
    return nullptr;
}
