// Stand-in for the vendor's PacDrive.dll: reports the PacDrive-family devices
// that DeviceSim.ini lists and journals every call.
#include "devices/VendorLibraries.h"
#include "vendor-sim/DeviceSim.h"

#include <string>

extern "C" {

int WINAPI PacDriveCount() {
    const int count = static_cast<int>(SimPacDriveTypes().size());
    SimJournal("PacDrive 2 -> " + std::to_string(count));
    return count;
}

int WINAPI PacDriveShutdown() {
    SimJournal("PacDrive 3");
    return 1;
}

int WINAPI PacDriveDeviceType(int index) {
    // Read again rather than kept: the stand-in holds no state between calls.
    const std::vector<int> types = SimPacDriveTypes();
    const int type = (index >= 0 && index < static_cast<int>(types.size())) ? types[index] : 0;
    SimJournal("PacDrive 20 " + std::to_string(index) + " -> " + std::to_string(type));
    return type;
}

int WINAPI ServoStikSet4Way() {
    SimJournal("PacDrive 29");
    return 1;
}

int WINAPI ServoStikSet8Way() {
    SimJournal("PacDrive 30");
    return 1;
}
}
