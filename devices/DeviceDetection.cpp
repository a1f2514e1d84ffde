#include "devices/DeviceDetection.h"

#include "devices/DeviceSeam.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "tray/TrayIcon.h"

int PacDriveDeviceCount = 0;
int ServoStikCount = 0;

void DetectDevices() {
    U360DeviceCount = CallU360Count();
    if (U360DeviceCount == 0) {
        AppTrayIcon.SetPositionGreyed(IDM_POS_U360_SUBMENU, 1);
    }

    PacDriveDeviceCount = CallPacDriveCount();
    ServoStikCount = 0;
    for (int i = 0; i < PacDriveDeviceCount; ++i) {
        if (CallPacDriveDeviceType(i) == ServoStikDeviceType) {
            ++ServoStikCount;
        }
    }
    if (ServoStikCount == 0) {
        AppTrayIcon.SetPositionGreyed(IDM_POS_SERVO_SUBMENU, 1);
    }
}

void CloseDeviceLibraries() {
    CallU360Shutdown();
    CallPacDriveShutdown();
}
