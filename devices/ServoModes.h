#pragma once
#include "devices/ServoCommands.h"

// Switches every ServoStik for 32783 (8-way) or 32784 (4-way); 0 otherwise.
int SelectServoMode(int commandId);
