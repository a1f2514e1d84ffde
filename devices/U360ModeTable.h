#pragma once

struct ModeEntry {
    int commandId;
    const char* name;
};

constexpr int U360ModeCount = 9;
extern const ModeEntry U360ModeTable[U360ModeCount];
