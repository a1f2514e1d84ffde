#pragma once

// One UltraStik 360 mode: the tray menu command that selects it and the map
// name the sticks are given.
struct ModeEntry {
    int commandId;
    const char* name;
};

constexpr int U360ModeCount = 9;
// In menu order: the "UltraStik 360" submenu lists the same modes.
extern const ModeEntry U360ModeTable[U360ModeCount];

// The row of a map name (exact, case-sensitive), or null.
const ModeEntry* U360ModeByName(const char* name);
// The row of a menu command, or null.
const ModeEntry* U360ModeByCommand(int commandId);
