#pragma once
#include <windows.h>

#include <string>
#include <vector>

// What tests read back from the world, written once.

// The text split at its line ends (LF or CR LF); a last line without one is kept.
std::vector<std::string> SplitLines(const std::string& text);

// A key of the [General] section of a settings file, or "<absent>".
std::string IniValue(const std::string& path, const char* key);

// The "Velmora" value of the current user's Run key, or "<absent>"; its
// type and size when asked for.
std::string RunValue(DWORD* type = nullptr, DWORD* size = nullptr);
void DeleteRunValue();

// The directory of the running test program, with a trailing backslash.
std::string TestProgramDirectory();
