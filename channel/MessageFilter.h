#pragma once
#include <windows.h>

// Lets a first instance that runs elevated hear what later starts that do
// not may send it, and nothing else: WM_COPYDATA and LineOutcomeMessage on
// its channel window (Windows 7), or for the process (Vista); on Windows XP
// there is nothing to allow.
void AllowLaterInstancesToReach(HWND window);

// The channel's calls that unit tests observe.
struct ChannelSeam {
    // A function of USER32 that older Windows may lack, or null.
    FARPROC (*user32Function)(const char* name);
};
extern ChannelSeam ChannelCalls;
