#include "devices/DeviceDetection.h"

#include "devices/DeviceSeam.h"
#include "devices/U360Modes.h"
#include "tray/TrayIcon.h"

int PacDriveDeviceCount = 0;
int ServoStikCount = 0;

static constexpr int U360MenuPosition = 0;
static constexpr int ServoMenuPosition = 1;

void DetectDevices() {
    U360DeviceCount = g_devices.u360Count();
    if (U360DeviceCount == 0) {
        g_trayIcon.SetPositionGreyed(U360MenuPosition, 1);
    }

    PacDriveDeviceCount = g_devices.pacDriveCount();
    ServoStikCount = 0;
    for (int i = 0; i < PacDriveDeviceCount; ++i) {
        if (g_devices.pacDriveDeviceType(i) == ServoStikDeviceType) {
            ++ServoStikCount;
        }
    }
    if (ServoStikCount == 0) {
        g_trayIcon.SetPositionGreyed(ServoMenuPosition, 1);
    }
}

void CloseDeviceLibraries() {
    g_devices.u360Shutdown();
    g_devices.pacDriveShutdown();
}
