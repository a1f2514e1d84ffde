#pragma once
#include <windows.h>

// The executable's directory with its trailing backslash; empty when the
// module path could not be read whole.
extern char ProgramDirectory[MAX_PATH];

void GetProgramDirectory(char* destination);

// The directory part of modulePath, cut just after its last backslash (the
// whole path when it has none).
void DirectoryOfModulePath(const char* modulePath, char* destination);

// The executable's full path; false when it is missing or did not fit.
bool ReadModulePath(char (&path)[MAX_PATH]);
