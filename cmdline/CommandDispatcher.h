#pragma once

extern const char UsageText[];

// Acts on "-help", "-u360", "-servo" and "-exit" in a command-line text; every
// other switch and stray token is ignored. Runs on the main thread only.
// Gives 1 once the text was acted on, 0 when its argument vector or the switch
// table's copy of it could not be allocated and nothing was done.
int ProcessCommandLine(const char* text);

// Whether ProcessCommandLine would show the usage box for text.
bool AsksForUsage(const char* text);
