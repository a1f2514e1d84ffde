#include "devices/DeviceDetection.h"

#include "devices/DeviceSeam.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "tray/TrayIcon.h"

int PacDriveDeviceCount = 0;
int ServoStikCount = 0;

namespace {
bool Counted = false;       // startup has counted the devices
bool LibrariesOpen = false; // started, and not closed since
bool RecountWanted = false; // the system said devices changed
} // namespace

void DetectDevices() {
    // A count while the libraries are open is their start-up call made
    // again, without a closing call between. That relies on a count finding
    // the devices anew each time, and on a second start-up doing no harm,
    // which is not known of the real libraries: so it is made only once the
    // system said devices changed, and once for a whole burst of changes.
    Counted = LibrariesOpen = true;
    RecountWanted = false;
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

void DevicesChanged() {
    RecountWanted = true;
}

bool RefreshDevices() {
    if (!Counted) {
        return false;
    }
    if (!LibrariesOpen || RecountWanted) {
        DetectDevices();
    }
    return true;
}

void CloseDeviceLibraries() {
    // At the session's end, and again should the program still end normally
    // without a use of the libraries in between.
    if (!LibrariesOpen) {
        return;
    }
    LibrariesOpen = false;
    CallU360Shutdown();
    CallPacDriveShutdown();
}
