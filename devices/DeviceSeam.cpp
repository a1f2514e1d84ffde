#include "devices/DeviceSeam.h"

#include "devices/VendorLibraries.h"

DeviceSeam DeviceCalls = {UltraStikCount,   UltraStikShutdown,  UltraStikLoadMap, PacDriveCount,
                          PacDriveShutdown, PacDriveDeviceType, ServoStikSet4Way, ServoStikSet8Way};

// The vendor's libraries are declared stdcall, but a build of them may leave
// its arguments on the stack (cdecl). So that either way is right by design,
// not by how the compiler lays out a caller, each call is made from a function
// of its own that keeps a frame pointer and does nothing after the call but
// return: the epilogue takes the stack pointer back from the frame pointer
// whatever the library left. Never inlined (the caller's own stack pointer
// would be off) and never a tail call (the library would return past the
// frame). tools/check-binaries.sh checks the 32-bit program's epilogues.
#define VENDOR_CALL_SITE                                                                           \
    __attribute__((noinline, optimize("no-omit-frame-pointer", "no-optimize-sibling-calls")))

VENDOR_CALL_SITE int CallU360Count() {
    return DeviceCalls.u360Count();
}

VENDOR_CALL_SITE int CallU360Shutdown() {
    return DeviceCalls.u360Shutdown();
}

VENDOR_CALL_SITE int CallU360LoadMap(int index, const char* mapName) {
    return DeviceCalls.u360LoadMap(index, mapName);
}

VENDOR_CALL_SITE int CallPacDriveCount() {
    return DeviceCalls.pacDriveCount();
}

VENDOR_CALL_SITE int CallPacDriveShutdown() {
    return DeviceCalls.pacDriveShutdown();
}

VENDOR_CALL_SITE int CallPacDriveDeviceType(int index) {
    return DeviceCalls.pacDriveDeviceType(index);
}

VENDOR_CALL_SITE int CallServo4Way() {
    return DeviceCalls.servo4Way();
}

VENDOR_CALL_SITE int CallServo8Way() {
    return DeviceCalls.servo8Way();
}
