#pragma once
#include <windows.h>

// The two vendor libraries, imported by ordinal (see the .def files) and
// loaded at the first call, once VendorCheck has found them sound.
// Only UltraStikCount, PacDriveCount and PacDriveDeviceType give results that
// the program reads.

// The vendor's convention is stdcall. The stand-ins can also be built to
// cdecl (VELMORA_VENDOR_CDECL), which the program must survive just the same.
#ifdef VELMORA_VENDOR_CDECL
#define VENDOR_API __cdecl
#else
#define VENDOR_API WINAPI
#endif

extern "C" {
int VENDOR_API UltraStikCount();                                 // UltraStik.dll @1
int VENDOR_API UltraStikShutdown();                              // UltraStik.dll @2
int VENDOR_API UltraStikLoadMap(int index, const char* mapName); // UltraStik.dll @13
int VENDOR_API PacDriveCount();                                  // PacDrive.dll @2
int VENDOR_API PacDriveShutdown();                               // PacDrive.dll @3
int VENDOR_API PacDriveDeviceType(int index);                    // PacDrive.dll @20
int VENDOR_API ServoStikSet4Way();                               // PacDrive.dll @29
int VENDOR_API ServoStikSet8Way();                               // PacDrive.dll @30
}

// The ordinals Velmora calls, as the .def files import them.
constexpr int UltraStikCountOrdinal = 1;
constexpr int UltraStikShutdownOrdinal = 2;
constexpr int UltraStikLoadMapOrdinal = 13;
constexpr int PacDriveCountOrdinal = 2;
constexpr int PacDriveShutdownOrdinal = 3;
constexpr int PacDriveDeviceTypeOrdinal = 20;
constexpr int ServoStikSet4WayOrdinal = 29;
constexpr int ServoStikSet8WayOrdinal = 30;
