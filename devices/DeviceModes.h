#pragma once

// Attached devices, counted once at startup; 0 until then.
extern int U360DeviceCount;
extern int PacDriveDeviceCount;
extern int ServoStikCount;

constexpr int ServoStikDeviceType = 4;

// Hot keys registered on the main window, without modifiers.
constexpr int HotKeyServo4Way = 0; // F4
constexpr int HotKeyServo8Way = 1; // F8

// Loads the mode of an UltraStik 360 command id into every stick and checks
// its menu item; 0, with nothing changed, for any other id.
int SelectU360Mode(int commandId);

// Makes name (its first 255 bytes) the current map, loads it into every
// stick and shows the mouse icon while the mouse map is in force.
void ApplyU360Map(const char* name);

// Switches every ServoStik for 32783 (8-way) or 32784 (4-way); 0 otherwise.
int SelectServoMode(int commandId);

// Counts both kinds of device and greys the tray submenu of a kind that is absent.
void DetectDevices();

// Closing calls of both libraries, once after the message loop.
void CloseDeviceLibraries();
