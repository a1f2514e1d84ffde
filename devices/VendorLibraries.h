#pragma once
#include <windows.h>

// The two vendor libraries, bound at load time by ordinal (see the .def files).
// Only UltraStikCount, PacDriveCount and PacDriveDeviceType give results that
// the program reads.
extern "C" {
int WINAPI UltraStikCount();                                 // UltraStik.dll @1
int WINAPI UltraStikShutdown();                              // UltraStik.dll @2
int WINAPI UltraStikLoadMap(int index, const char* mapName); // UltraStik.dll @13
int WINAPI PacDriveCount();                                  // PacDrive.dll @2
int WINAPI PacDriveShutdown();                               // PacDrive.dll @3
int WINAPI PacDriveDeviceType(int index);                    // PacDrive.dll @20
int WINAPI ServoStikSet4Way();                               // PacDrive.dll @29
int WINAPI ServoStikSet8Way();                               // PacDrive.dll @30
}
