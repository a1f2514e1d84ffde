// The launch floor for the benchmark: the least any hand-over must do, which
// is to start a Windows program that loads USER32 and looks for a window.
//
// Built twice more to weigh what the rest of Velmora's imports add to every
// start, since the loader binds them whether a start uses them or not:
// FLOOR_BINDS_SHELL32_ADVAPI32 also binds the SHELL32 and ADVAPI32 entries
// Velmora imports, and FLOOR_BINDS_VENDOR_LIBRARIES the two vendor libraries
// as well. Nothing of theirs is called.
#include <windows.h>

#if defined(FLOOR_BINDS_SHELL32_ADVAPI32) || defined(FLOOR_BINDS_VENDOR_LIBRARIES)
#include <shellapi.h>
#endif
#ifdef FLOOR_BINDS_VENDOR_LIBRARIES
#include "devices/VendorLibraries.h"
#endif

namespace {

#if defined(FLOOR_BINDS_SHELL32_ADVAPI32) || defined(FLOOR_BINDS_VENDOR_LIBRARIES)
// Filled in at startup from the import table, which keeps every import in it.
void* volatile BoundEntries[] = {
    reinterpret_cast<void*>(&Shell_NotifyIconA),
    reinterpret_cast<void*>(&RegOpenKeyExA),
#ifdef FLOOR_BINDS_VENDOR_LIBRARIES
    reinterpret_cast<void*>(&UltraStikCount),
    reinterpret_cast<void*>(&PacDriveCount),
#endif
};
#endif

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return FindWindowA("Velmora_Server", "Velmora_InterComm") != nullptr ? 0 : 0;
}
