#pragma once

// Attached PacDrive-family devices and the ServoStiks among them, as last
// counted; 0 until then.
extern int PacDriveDeviceCount;
extern int ServoStikCount;

constexpr int ServoStikDeviceType = 4;

// Counts both kinds of device and greys the tray submenu of a kind that is
// absent, enables it for one that is there: at startup, and again when the
// system says devices changed.
void DetectDevices();

// Closing calls of both libraries, once: after the message loop, or when the
// session ends.
void CloseDeviceLibraries();
