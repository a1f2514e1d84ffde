// Stand-in for the vendor's PacDrive.dll: reports the PacDrive-family devices
// that DeviceSim.ini lists and journals every call.
#include "devices/VendorLibraries.h"
#include "vendor-sim/DeviceSim.h"
#include "vendor-sim/JournalLine.h"

#include <string>

extern "C" {

int WINAPI PacDriveCount() {
    const int count = static_cast<int>(SimPacDriveTypes().size());
    SimJournal(CountLine("PacDrive", 2, count));
    return count;
}

int WINAPI PacDriveShutdown() {
    SimJournal(CallLine("PacDrive", 3));
    return 1;
}

int WINAPI PacDriveDeviceType(int index) {
    // Read again rather than kept: the stand-in holds no state between calls.
    const std::vector<int> types = SimPacDriveTypes();
    const int type = (index >= 0 && index < static_cast<int>(types.size())) ? types[index] : 0;
    SimJournal(DeviceTypeLine(index, type));
    return type;
}

int WINAPI ServoStikSet4Way() {
    SimJournal(CallLine("PacDrive", 29));
    SimHoldIfAsked();
    return 1;
}

int WINAPI ServoStikSet8Way() {
    SimJournal(CallLine("PacDrive", 30));
    SimHoldIfAsked();
    return 1;
}
}
