// The benchmark's second method: times program starts from inside Wine, from
// CreateProcess to the end of the process, so the Linux side of starting
// wine64 is left out.
//   LaunchTimer ROUNDS CODE_A "COMMAND A" CODE_B "COMMAND B"
// alternates A and B for ROUNDS pairs and prints one line per command:
//   <median ms> <min ms> <max ms> <failures>
// where a failure is a run that ended with another exit code than expected
// (it is counted, not timed).
//   LaunchTimer --ready ROUNDS "SERVER" "CLIENT" "ENDER"
// starts SERVER, waits for the first-instance mutex, runs CLIENT until it
// exits 1, and times that from the start; ENDER then ends the server. One
// line as above.
//   LaunchTimer --show CLASS TITLE
// shows a hidden top-level window as tools that reveal hidden windows do;
// exits 0 when there was one.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Milliseconds of one run, or a negative number when it failed.
double TimedRun(const std::string& command, DWORD expected) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
    QueryPerformanceCounter(&end);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &code);
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (waited != WAIT_OBJECT_0 || code != expected) {
        return -1;
    }
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

void Report(std::vector<double> times, int failures) {
    if (times.empty()) {
        std::printf("- - - %d\n", failures);
        return;
    }
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
    std::printf("%.1f %.1f %.1f %d\n", median, times.front(), times.back(), failures);
}

} // namespace

double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

HANDLE Start(const std::string& command) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return nullptr;
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

bool Marked() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora_Mutex");
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
    return mutex != nullptr;
}

// From a first start until a hand-over is taken, ROUNDS times.
int Ready(int rounds, const std::string& server, const std::string& client,
          const std::string& ender) {
    std::vector<double> times;
    int failures = 0;
    for (int round = 0; round < rounds; ++round) {
        const double start = Now();
        HANDLE process = Start(server);
        bool taken = false;
        while (process != nullptr && !Marked() && Now() - start < 10000) {
            Sleep(1);
        }
        for (int tries = 0; process != nullptr && tries < 100 && !taken; ++tries) {
            taken = TimedRun(client, 1) >= 0;
        }
        if (taken) {
            times.push_back(Now() - start);
        } else {
            ++failures;
        }
        TimedRun(ender, 1);
        if (process != nullptr) {
            if (WaitForSingleObject(process, 20000) != WAIT_OBJECT_0) {
                TerminateProcess(process, 1);
                ++failures;
            }
            CloseHandle(process);
        }
    }
    Report(times, failures);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--show") {
        HWND window = FindWindowA(argv[2], argv[3]);
        return window != nullptr &&
                       SetWindowPos(window, nullptr, 0, 0, 0, 0,
                                    SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW)
                   ? 0
                   : 1;
    }
    if (argc == 6 && std::string(argv[1]) == "--ready") {
        return Ready(std::atoi(argv[2]), argv[3], argv[4], argv[5]);
    }
    if (argc != 6) {
        std::fprintf(stderr, "usage: LaunchTimer ROUNDS CODE_A COMMAND_A CODE_B COMMAND_B\n");
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const DWORD expected[2] = {static_cast<DWORD>(std::atoi(argv[2])),
                               static_cast<DWORD>(std::atoi(argv[4]))};
    const std::string commands[2] = {argv[3], argv[5]};
    std::vector<double> times[2];
    int failures[2] = {0, 0};
    for (int round = 0; round < rounds; ++round) {
        for (int which = 0; which < 2; ++which) {
            const double ms = TimedRun(commands[which], expected[which]);
            if (ms < 0) {
                ++failures[which];
            } else {
                times[which].push_back(ms);
            }
        }
    }
    Report(times[0], failures[0]);
    Report(times[1], failures[1]);
    return 0;
}
