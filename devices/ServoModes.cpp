#include "devices/ServoModes.h"

#include "devices/DeviceDetection.h"
#include "devices/DeviceSeam.h"
#include "settings/Settings.h"
#include "tray/TrayIcon.h"

#include <cstring>

int SelectServoMode(int commandId) {
    // The library is called even when the mode is in force or no ServoStik
    // was found: a stick plugged in later still follows. Before startup has
    // counted the devices only the name is kept, applied after the count.
    switch (commandId) {
    case CommandServo8Way:
        std::strcpy(AppSettings.ServoMapFile, "joy8way");
        AppTrayIcon.SetItemChecked(CommandServo4Way, 0);
        AppTrayIcon.SetItemChecked(CommandServo8Way, 1);
        if (RefreshDevices()) {
            CallServo8Way();
        }
        return 1;
    case CommandServo4Way:
        std::strcpy(AppSettings.ServoMapFile, "joy4way");
        AppTrayIcon.SetItemChecked(CommandServo4Way, 1);
        AppTrayIcon.SetItemChecked(CommandServo8Way, 0);
        if (RefreshDevices()) {
            CallServo4Way();
        }
        return 1;
    default:
        return 0;
    }
}
