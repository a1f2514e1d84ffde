// Stand-in for the vendor's UltraStik.dll: reports the sticks that
// DeviceSim.ini lists and journals every call.
#include "devices/VendorLibraries.h"
#include "vendor-sim/DeviceSim.h"
#include "vendor-sim/JournalLine.h"

#include <string>

extern "C" {

int VENDOR_API UltraStikCount() {
    const int count = SimUltraStikCount();
    SimJournal(CountLine("UltraStik", 1, count));
    return count;
}

int VENDOR_API UltraStikShutdown() {
    SimJournal(CallLine("UltraStik", 2));
    return 1;
}

int VENDOR_API UltraStikLoadMap(int index, const char* mapName) {
    SimJournal(LoadMapLine(index, mapName));
    SimHoldIfAsked();
    return 1;
}
}
