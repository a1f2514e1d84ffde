#include "devices/ServoCommands.h"

#include <cstring>

int ServoCommandForName(const char* name) {
    return std::strcmp(name, "joy4way") == 0 ? CommandServo4Way : CommandServo8Way;
}
