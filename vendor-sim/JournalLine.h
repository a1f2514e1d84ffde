#pragma once
#include <string>

// The journal's line for each vendor call, written by the stand-ins and
// imitated by the tests' recorder, so that both always agree.
std::string CallLine(const char* library, int ordinal);             // "PacDrive 29"
std::string CountLine(const char* library, int ordinal, int count); // "UltraStik 1 -> 2"
std::string DeviceTypeLine(int index, int type);                    // "PacDrive 20 0 -> 4"
std::string LoadMapLine(int index, const char* name);               // "UltraStik 13 0 joy4way"

// The map name as the journal shows it: '\' as "\\", bytes below 0x20 as \xHH.
std::string SimEscape(const char* text);
