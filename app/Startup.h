#pragma once
#include "channel/HandOver.h"

#include <windows.h>

// Exit codes of Velmora.exe.
// A launcher needs to know whether to go on (1), whether it may safely try
// again or start afresh (2), and when the instance hangs with its line (3),
// where trying again would only queue more behind a stuck device.
constexpr int ExitNormal = 0;     // the first instance ran and ended
constexpr int ExitHandedOver = 1; // a running instance acted on our command line
constexpr int ExitNotDone = 2;    // nothing was done and nothing will be
constexpr int ExitUnfinished = 3; // the running instance went silent holding our line

// A later instance's exit code for how its hand-over ended.
int HandOverExitCode(HandOver result);

// The first instance: builds the program in its order, runs the main loop
// and shuts down; the exit code.
int RunFirstInstance(const char* commandLine);

// A posted timer message with a callback: never one of ours, never dispatched.
bool CarriesACallback(const MSG& message);

// The main loop, until a quit message; ExitNormal. Destroys the controller
// window afterwards, if it still exists.
int RunMessageLoop(HWND controller);

// Loads the stored UltraStik 360 map and ServoStik mode into the sticks,
// once the tray icon exists to show them. A map name that is no mode is
// handed to the sticks as written, as a line's would be.
void ApplyStoredModes();
