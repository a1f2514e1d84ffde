// Stand-in for the vendor's PacDrive.dll: reports the PacDrive-family devices
// that DeviceSim.ini lists and journals every call.
#include "devices/VendorLibraries.h"
#include "vendor-sim/DeviceSim.h"
#include "vendor-sim/JournalLine.h"

#include <string>

extern "C" {

int VENDOR_API PacDriveCount() {
    const int count = static_cast<int>(SimPacDriveTypes().size());
    SimJournal(CountLine("PacDrive", 2, count));
    return count;
}

int VENDOR_API PacDriveShutdown() {
    SimJournal(CallLine("PacDrive", 3));
    return 1;
}

int VENDOR_API PacDriveDeviceType(int index) {
    // Read again rather than kept: the stand-in holds no state between calls.
    const std::vector<int> types = SimPacDriveTypes();
    const int type = (index >= 0 && index < static_cast<int>(types.size())) ? types[index] : 0;
    SimJournal(DeviceTypeLine(index, type));
    return type;
}

int VENDOR_API ServoStikSet4Way() {
    SimJournal(CallLine("PacDrive", 29));
    SimHoldIfAsked();
    return 1;
}

int VENDOR_API ServoStikSet8Way() {
    SimJournal(CallLine("PacDrive", 30));
    SimHoldIfAsked();
    return 1;
}
}
