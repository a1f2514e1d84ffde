#include "devices/DeviceDetection.h"

#include "devices/DeviceSeam.h"
#include "devices/U360Modes.h"
#include "tray/TrayIcon.h"

int PacDriveDeviceCount = 0;
int ServoStikCount = 0;

static constexpr int U360MenuPosition = 0;
static constexpr int ServoMenuPosition = 1;

void DetectDevices() {
    U360DeviceCount = DeviceCalls.u360Count();
    if (U360DeviceCount == 0) {
        AppTrayIcon.SetPositionGreyed(U360MenuPosition, 1);
    }

    PacDriveDeviceCount = DeviceCalls.pacDriveCount();
    ServoStikCount = 0;
    for (int i = 0; i < PacDriveDeviceCount; ++i) {
        if (DeviceCalls.pacDriveDeviceType(i) == ServoStikDeviceType) {
            ++ServoStikCount;
        }
    }
    if (ServoStikCount == 0) {
        AppTrayIcon.SetPositionGreyed(ServoMenuPosition, 1);
    }
}

void CloseDeviceLibraries() {
    DeviceCalls.u360Shutdown();
    DeviceCalls.pacDriveShutdown();
}
