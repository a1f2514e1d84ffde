// Stand-in for the vendor's UltraStik.dll: reports the sticks that
// DeviceSim.ini lists and journals every call.
#include "devices/VendorLibraries.h"
#include "vendor-sim/DeviceSim.h"

#include <string>

extern "C" {

int WINAPI UltraStikCount() {
    const int count = SimUltraStikCount();
    SimJournal("UltraStik 1 -> " + std::to_string(count));
    return count;
}

int WINAPI UltraStikShutdown() {
    SimJournal("UltraStik 2");
    return 1;
}

int WINAPI UltraStikLoadMap(int index, const char* mapName) {
    SimJournal("UltraStik 13 " + std::to_string(index) + " " + SimEscape(mapName));
    return 1;
}
}
