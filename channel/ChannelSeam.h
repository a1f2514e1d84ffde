#pragma once
#include <windows.h>

// The channel's calls that unit tests observe; the program's binding is in
// ChannelSeam.cpp.
struct ChannelSeam {
    // A function of USER32 that older Windows may lack, or null.
    FARPROC (*user32Function)(const char* name);
};

extern ChannelSeam ChannelCalls;
