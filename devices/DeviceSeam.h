#pragma once
#include <windows.h>

// Every call into the vendor libraries goes through this table, so that tests
// can record them; the program binds it to the imports by ordinal.
struct DeviceSeam {
    int(WINAPI* u360Count)();
    int(WINAPI* u360Shutdown)();
    int(WINAPI* u360LoadMap)(int index, const char* mapName);
    int(WINAPI* pacDriveCount)();
    int(WINAPI* pacDriveShutdown)();
    int(WINAPI* pacDriveDeviceType)(int index);
    int(WINAPI* servo4Way)();
    int(WINAPI* servo8Way)();
};

extern DeviceSeam DeviceCalls;

// The only way the program calls the table: each leaves the caller's stack as
// it was whether the library pops its arguments (stdcall) or leaves them
// (cdecl). Results as the library gives them.
int CallU360Count();
int CallU360Shutdown();
int CallU360LoadMap(int index, const char* mapName);
int CallPacDriveCount();
int CallPacDriveShutdown();
int CallPacDriveDeviceType(int index);
int CallServo4Way();
int CallServo8Way();
