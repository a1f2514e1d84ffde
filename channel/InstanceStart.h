#pragma once
#include <windows.h>

// A launcher's first call must return like any later one: when no instance
// runs, it starts one as a process of its own, the same Velmora.exe without
// its switches, and hands its line over to it. The instance inherits nothing
// of the launcher's: no handle (a launcher reading the output would wait for
// it), no current directory (it would hold the folder open), and no job
// where the job lets it leave (a launcher that ends its job when the game
// ends must not end Velmora). Gives the process, for the caller to close,
// or null when it could not be started.
HANDLE StartRunningInstance();
