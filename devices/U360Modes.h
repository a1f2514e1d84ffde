#pragma once

// Attached UltraStik 360 sticks, counted at startup and again after the
// system says devices changed; 0 until then.
extern int U360DeviceCount;

// Loads the mode of an UltraStik 360 command id into every stick and checks
// its menu item; 0, with nothing changed, for any other id.
int SelectU360Mode(int commandId);

// Makes name (its first 255 bytes) the current map and loads it into every
// stick. The tray shows the mouse icon while the mouse map is in force on
// at least one stick; with none attached, the joystick.
void ApplyU360Map(const char* name);
