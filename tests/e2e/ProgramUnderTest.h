#pragma once
#include "support/TempDir.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// A private copy of the built Velmora.exe with the stand-in libraries and a
// DeviceSim.ini, run as real processes. VELMORA_PROGRAM_DIR and
// VELMORA_STANDIN_DIR, when set, name the folders to copy them from.
class ProgramUnderTest {
  public:
    explicit ProgramUnderTest(int sticks = 1, const std::string& pacDriveTypes = "4",
                              const std::string& subdirectory = "");
    ~ProgramUnderTest(); // ends a server left running by a failed test, or started by a call

    // Starts Velmora.exe with arguments; the handle belongs to this object.
    HANDLE Start(const std::string& arguments);
    // Starts a whole command line (program name included) in the directory.
    HANDLE StartCommandLine(const std::string& commandLine);
    // Runs it to its end; the exit code, or STILL_ACTIVE after the time-out.
    DWORD Run(const std::string& arguments, DWORD timeoutMilliseconds = 20000);
    // Starts the first instance and waits until its main loop answers; then
    // hands it arguments, when given, as a launcher's line.
    HANDLE StartServer(const std::string& arguments = "");
    // The running instance that a first call started, now the server.
    HANDLE AdoptServer();
    // Ends a running instance of this copy's, whoever started it.
    void EndRunningInstance();
    // "-exit" through a second instance; the server's exit code.
    DWORD ExitServer(DWORD timeoutMilliseconds = 20000);

    std::vector<std::string> Journal() const; // DeviceSim.log, line by line
    std::vector<std::string> JournalSince(std::size_t line) const;
    std::string Settings() const; // Velmora.ini as it stands
    void WriteSettings(const std::string& content) const;

    // A top-level window of the server process by class and, unless null, title.
    HWND ServerWindow(const char* windowClass, const char* title = nullptr) const;
    HWND ControllerWindow() const; // the server's hidden Settings dialog
    HWND ChannelWindow() const;

    const std::string& Directory() const { return folder; }
    // Whether the copy is the 32-bit program (run under Wine's WoW64 mode).
    bool Is32Bit() const;
    HANDLE server = nullptr;

  private:
    TempDir temporary;
    std::string folder;
    std::mutex processesLock; // launchers may start processes from several threads
    std::vector<HANDLE> processes;
};

// The folder the program under test is copied from, with its trailing
// backslash (VELMORA_PROGRAM_DIR, or the build's own dist folder).
std::string ProgramDistFolder();
// Whether "Velmora_Mutex" marks a running first instance.
bool FirstInstanceMarked();
// Waits for a process; its exit code or STILL_ACTIVE.
DWORD WaitExit(HANDLE process, DWORD timeoutMilliseconds);
// Waits for a process while serving this thread's messages (for tests whose
// own windows the process talks to); its exit code or STILL_ACTIVE.
DWORD WaitExitServing(HANDLE process, DWORD timeoutMilliseconds);
// Waits until the journal holds line past mark.
bool WaitForJournal(const ProgramUnderTest& program, std::size_t mark, const std::string& line,
                    DWORD timeout = 10000);
// Whether lines holds line.
bool HasLine(const std::vector<std::string>& lines, const std::string& line);
// Waits until predicate() holds, serving this thread's messages meanwhile.
bool WaitUntil(bool (*predicate)(void*), void* context, DWORD timeoutMilliseconds);
// A visible top-level dialog of another process, by its caption; null when
// none appears in time.
HWND WaitForDialog(const char* caption, DWORD timeoutMilliseconds = 30000);
// A top-level window by class and title, once it exists; null when none
// appears in time.
HWND WaitForWindow(const char* windowClass, const char* title, DWORD timeoutMilliseconds = 10000);
// Waits until the first instance's window says the line behind ticket
// waits its turn (tickets count from 1 in each run).
bool WaitForQueuedLine(HWND channel, unsigned short ticket, DWORD timeoutMilliseconds = 10000);
// Whether a window's thread answers a sent message within a second, as
// broadcasts and the session's end need.
bool AnswersWithinASecond(HWND window);
// The processor time all threads of a running process have used, in
// milliseconds. Summed over the threads: Wine 8.0's GetProcessTimes counts
// almost nothing of another process (measured: 60 ms for one that used 560).
ULONGLONG ProcessorMilliseconds(HANDLE process);
