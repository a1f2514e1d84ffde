#pragma once

// Attached PacDrive-family devices and the ServoStiks among them, counted
// once at startup; 0 until then.
extern int PacDriveDeviceCount;
extern int ServoStikCount;

constexpr int ServoStikDeviceType = 4;

// Counts both kinds of device and greys the tray submenu of a kind that is absent.
void DetectDevices();

// Closing calls of both libraries, once after the message loop.
void CloseDeviceLibraries();
