#pragma once

// Attached PacDrive-family devices and the ServoStiks among them, as last
// counted; 0 until then.
extern int PacDriveDeviceCount;
extern int ServoStikCount;

constexpr int ServoStikDeviceType = 4;

// Counts both kinds of device, which is each library's start-up call, and
// greys the tray submenu of a kind that is absent, enables it for one that is
// there: at startup, and again when needed (below).
void DetectDevices();

// The system says devices changed: the next use counts them again, however
// many changes come before it.
void DevicesChanged();

// Before every call into a library: false until startup has counted the
// devices (what is chosen before is applied after the count); a library
// closed since (the session's end) is opened again, and devices that
// changed are counted again, first.
bool RefreshDevices();

// Closing calls of both libraries, once for each start-up: after the message
// loop, or when the session ends.
void CloseDeviceLibraries();
