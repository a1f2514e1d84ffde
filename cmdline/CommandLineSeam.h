#pragma once
#include <cstddef>

// Everything the command line does to the world goes through this table, so
// that tests and fuzzers can record the effects. The program's binding lives
// in app/CommandLineBinding.cpp, the fuzzers' in fuzz/FuzzSeam.cpp.
struct CommandLineSeam {
    void* (*allocateBlock)(std::size_t bytes); // one fixed block per argument vector
    void (*releaseBlock)(void* block);
    void (*showMessage)(const char* text, const char* caption, unsigned style);
    void (*applyU360Map)(const char* name);
    void (*setItemChecked)(int commandId, int on);
    int (*selectServoMode)(int commandId);
    void (*closeMainWindow)();
};

// MB_OK and no icon; named here because the dispatcher builds without
// <windows.h> for the host's fuzzers.
constexpr unsigned PlainMessageBox = 0;

extern CommandLineSeam CommandLineCalls;
