#pragma once

class SwitchTable;

extern const char UsageText[];

// Acts on "-help", "-u360", "-servo" and "-exit" in a command-line text; every
// other switch and stray token is ignored. Runs on the main thread only.
void ProcessCommandLine(const char* text);

// The one table every dispatch loads; defined with the other process-wide objects.
extern SwitchTable g_switchTable;
