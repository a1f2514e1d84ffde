#pragma once
#include <cstddef>

// What can be wrong with a vendor library, found before its first call.
enum class VendorFault {
    None,
    Missing,      // not found beside Velmora.exe (nor on the system's search path)
    OtherBitness, // built for the other bitness: the 64-bit library beside a 32-bit program
    Older,        // loads, but lacks an ordinal Velmora calls
    Unloadable,   // found and refused to load: no library at all, or for a reason not known
};

// One library: its file and the ordinals Velmora calls in it.
struct VendorLibrary {
    const char* file;
    const int* ordinals;
    int ordinalCount;
};

extern const VendorLibrary UltraStikLibrary;
extern const VendorLibrary PacDriveLibrary;

// Each library's fault as the startup check found it; None until then.
extern VendorFault UltraStikFault;
extern VendorFault PacDriveFault;

// Loads the library from folder (with its trailing backslash), or where the
// system's search finds it when it is not there, without the system's error
// box, and looks up every ordinal. A sound library stays loaded for the calls
// to come, which its delay-loaded imports then bind to; one with a fault is
// unloaded.
VendorFault CheckVendorLibrary(const VendorLibrary& library, const char* folder);

// Checks both libraries in the program's folder, once, before any call into them: a faulty one is
// never called; its calls go to a stand-in that reports no device and accepts
// every call, so its submenu is greyed as for no device.
void CheckVendorLibraries(const char* folder);

// The tray icon's tip: "Velmora", followed by what is wrong with each faulty
// library in a few words. Cut to fit size bytes, always terminated.
void DescribeVendorFaults(char* tip, std::size_t size);
