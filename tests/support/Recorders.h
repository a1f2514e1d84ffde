#pragma once
#include "cmdline/CommandLineSeam.h"
#include "devices/DeviceSeam.h"
#include "tray/TrayIcon.h"
#include "tray/TrayShellSeam.h"

#include <deque>
#include <ostream>
#include <string>
#include <vector>

// Replaces the vendor libraries for one test: every call is recorded in the
// stand-ins' journal format ("UltraStik 13 0 mouse", "PacDrive 29", ...).
// The devices are counted first, as startup does, and that count not kept.
class VendorRecorder {
  public:
    explicit VendorRecorder(int sticks = 0, std::vector<int> pacDriveTypes = {});
    ~VendorRecorder();
    static std::vector<std::string> calls;
    static int sticks;
    static std::vector<int> pacDriveTypes;

  private:
    DeviceSeam saved;
};

// Replaces Shell_NotifyIconA and the version calls for one test.
class ShellRecorder {
  public:
    struct Call {
        DWORD message;
        NOTIFYICONDATAA record;
    };
    ShellRecorder();
    ~ShellRecorder();
    static std::vector<Call> calls;
    static std::deque<BOOL> results; // answers, front first; TRUE when empty
    static std::vector<HWND> destroyedWindows;
    static DWORD version;    // what GetVersion gives
    static DWORD platformId; // what GetVersionExA gives
    static DWORD majorVersion;

  private:
    TrayShellSeam saved;
};

// Records the command line's message boxes and window closes.
class CommandLineRecorder {
  public:
    struct Box {
        std::string text;
        std::string caption;
        unsigned style;
    };
    CommandLineRecorder();
    ~CommandLineRecorder();
    static std::vector<Box> boxes;
    static int closes;
    static bool failAllocation;
    static std::vector<std::size_t> allocations;
    static int releases;

  private:
    CommandLineSeam saved;
};

// The tray's id lists compare with, and print as, plain vectors in tests.
bool operator==(const IdList& list, const std::vector<int>& values);
void PrintTo(const IdList& list, std::ostream* out);
