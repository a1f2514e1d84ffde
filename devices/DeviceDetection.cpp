#include "devices/DeviceDetection.h"

#include "devices/DeviceSeam.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "tray/TrayIcon.h"

int PacDriveDeviceCount = 0;
int ServoStikCount = 0;

static bool LibrariesClosed = false;

void DetectDevices() {
    // A count that fails (negative) means no device.
    const int sticks = CallU360Count();
    U360DeviceCount = sticks > 0 ? sticks : 0;
    AppTrayIcon.SetPositionGreyed(IDM_POS_U360_SUBMENU, U360DeviceCount == 0 ? 1 : 0);

    PacDriveDeviceCount = CallPacDriveCount();
    ServoStikCount = 0;
    for (int i = 0; i < PacDriveDeviceCount; ++i) {
        if (CallPacDriveDeviceType(i) == ServoStikDeviceType) {
            ++ServoStikCount;
        }
    }
    AppTrayIcon.SetPositionGreyed(IDM_POS_SERVO_SUBMENU, ServoStikCount == 0 ? 1 : 0);
}

void CloseDeviceLibraries() {
    // At the session's end, and again should the program still end normally.
    if (LibrariesClosed) {
        return;
    }
    LibrariesClosed = true;
    CallU360Shutdown();
    CallPacDriveShutdown();
}
