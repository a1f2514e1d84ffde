#pragma once

// Attached UltraStik 360 sticks, counted once at startup; 0 until then.
extern int U360DeviceCount;

// Loads the mode of an UltraStik 360 command id into every stick and checks
// its menu item; 0, with nothing changed, for any other id.
int SelectU360Mode(int commandId);

// Makes name (its first 255 bytes) the current map, loads it into every
// stick and shows the mouse icon while the mouse map is in force.
void ApplyU360Map(const char* name);
