// Velmora under load, killed, with unwritable or corrupted settings, and with
// a thousand sticks: it must never lose a switch, crash or hang.
#include "ProgramUnderTest.h"
#include "support/Probes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char* const Maps[] = {"mouse",    "analog",    "joy8way", "easyjoy8way", "joy4way",
                            "djoy4way", "rdjoy4way", "joy2way", "vjoy2way"};

std::string Key(const ProgramUnderTest& program, const char* key) {
    return IniValue(program.Directory() + "Velmora.ini", key);
}

TEST(Load, EightLaunchersForwarding25CommandsEachLoseNothing) {
    ProgramUnderTest program(2, "4");
    program.StartServer();
    const std::size_t mark = program.Journal().size();

    constexpr int Launchers = 8, Commands = 25;
    std::vector<DWORD> codes(Launchers * Commands, 0);
    std::map<std::string, int> sent; // "map servo" -> how many times
    for (int k = 0; k < Launchers; ++k) {
        for (int i = 0; i < Commands; ++i) {
            sent[std::string(Maps[(k + i) % 9]) + ((k + i) % 2 ? " 30" : " 29")]++;
        }
    }
    std::vector<std::thread> launchers;
    for (int k = 0; k < Launchers; ++k) {
        launchers.emplace_back([&program, &codes, k] {
            for (int i = 0; i < Commands; ++i) {
                const std::string servo = (k + i) % 2 ? "joy8way" : "joy4way";
                codes[k * Commands + i] = program.Run(
                    std::string("-u360 ") + Maps[(k + i) % 9] + " -servo " + servo, 60000);
            }
        });
    }
    for (std::thread& launcher : launchers) {
        launcher.join();
    }
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 1u), Launchers * Commands)
        << "every launcher's command was acted on";
    EXPECT_EQ(program.Run(""), 1u) << "the instance still answers";

    // Each command left one block: both sticks, then the ServoStik call.
    const Lines journal = program.JournalSince(mark);
    ASSERT_EQ(journal.size(), 3u * Launchers * Commands);
    std::map<std::string, int> acted;
    for (std::size_t b = 0; b < journal.size(); b += 3) {
        const std::string map = journal[b].substr(std::string("UltraStik 13 0 ").size());
        ASSERT_EQ(journal[b], "UltraStik 13 0 " + map) << "block at " << b;
        ASSERT_EQ(journal[b + 1], "UltraStik 13 1 " + map) << "block at " << b;
        ASSERT_TRUE(journal[b + 2] == "PacDrive 29" || journal[b + 2] == "PacDrive 30")
            << journal[b + 2];
        acted[map + " " + journal[b + 2].substr(9)]++;
    }
    EXPECT_EQ(acted, sent);

    EXPECT_EQ(program.ExitServer(), 0u);
    const std::string lastMap = journal[journal.size() - 3].substr(15);
    const bool lastFour = journal.back() == "PacDrive 29";
    EXPECT_EQ(Key(program, "U360MapFile"), lastMap);
    EXPECT_EQ(Key(program, "ServoMapFile"), lastFour ? "joy4way" : "joy8way");
    EXPECT_EQ(Key(program, "LaunchOnStartup"), "False");
    const std::string settings = program.Settings();
    EXPECT_EQ(std::count(settings.begin(), settings.end(), '\n'), 6) << settings;
}

// A cabinet switched off at the wall: the choice of the line just acted on
// is kept.
TEST(Faults, KilledHardRightAfterALineTheNextStartLoadsItsChoice) {
    ProgramUnderTest program(1, "4");
    program.WriteSettings("[General]\r\nU360MapFile=joy8way\r\nServoMapFile=joy4way\r\n");
    program.StartServer();
    EXPECT_EQ(program.Run("-u360 analog -servo joy8way"), 1u);
    TerminateProcess(program.server, 9);
    WaitForSingleObject(program.server, 10000);
    ASSERT_TRUE(WaitUntil([](void*) { return !FirstInstanceMarked(); }, nullptr, 10000));

    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-exit"), 0u) << "the next start is the first instance again";
    const Lines journal = program.JournalSince(mark);
    EXPECT_TRUE(HasLine(journal, "UltraStik 13 0 analog"));
    EXPECT_TRUE(HasLine(journal, "PacDrive 30"));
}

// Killed at any moment of a burst of switches, many times: the file always
// holds one line's choices or the next's, every key whole.
TEST(Faults, KilledAtAnyMomentTheFileIsWhole) {
    ProgramUnderTest program(1, "4");
    const std::string whole = "[General]\r\nLaunchOnStartup=False\r\nMouseDrag=False\r\n"
                              "ReverseMouse=False\r\nU360MapFile=";
    program.WriteSettings(whole + "mouse\r\nServoMapFile=joy4way\r\n");
    const int rounds = program.Is32Bit() ? 6 : 20; // an emulated start takes seconds
    DWORD seed = GetTickCount();
    for (int round = 0; round < rounds; ++round) {
        program.StartServer();
        std::atomic<bool> killed(false);
        std::thread burst([&program, &killed] {
            for (int i = 0; !killed; ++i) {
                program.Run(std::string("-u360 ") + Maps[i % 9] +
                            (i % 2 ? " -servo joy8way" : " -servo joy4way"));
            }
        });
        seed = seed * 1103515245 + 12345;
        Sleep(100 + (seed >> 16) % 900); // the moment of the cut, at random
        TerminateProcess(program.server, 9);
        killed = true;
        burst.join();
        program.EndRunningInstance(); // started by a call that came after the cut
        const std::string u360 = Key(program, "U360MapFile");
        const std::string servo = Key(program, "ServoMapFile");
        EXPECT_NE(std::find(std::begin(Maps), std::end(Maps), u360), std::end(Maps))
            << "round " << round << ": " << program.Settings();
        EXPECT_EQ(program.Settings(), whole + u360 + "\r\nServoMapFile=" + servo + "\r\n")
            << "round " << round;
        ASSERT_TRUE(WaitUntil([](void*) { return !FirstInstanceMarked(); }, nullptr, 10000));
    }
}

// Whether a process shows a window besides its hidden ones.
bool ShowsAnything(DWORD pid) {
    struct Search {
        DWORD pid;
        bool found;
    } search = {pid, false};
    EnumWindows(
        [](HWND window, LPARAM p) -> BOOL {
            auto* s = reinterpret_cast<Search*>(p);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->pid && IsWindowVisible(window)) {
                s->found = true;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(Faults, UnwritableSettingsChangeNothingAndReportNothing) {
    // Wine running as root writes through the read-only attribute and a
    // read-only directory, so the file is made unwritable the ways root
    // cannot ignore: held open by another program, or not a file at all.
    for (int way = 0; way < 2; ++way) {
        ProgramUnderTest program(1, "4");
        const std::string ini = program.Directory() + "Velmora.ini";
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (way == 0) {
            program.WriteSettings("[General]\r\nU360MapFile=joy8way\r\n");
            SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY);
            lock = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        } else {
            CreateDirectoryA(ini.c_str(), nullptr);
        }
        program.StartServer();
        const std::size_t mark = program.Journal().size();
        EXPECT_EQ(program.Run("-u360 analog -servo joy8way"), 1u) << "way " << way;
        EXPECT_EQ(program.JournalSince(mark), (Lines{"UltraStik 13 0 analog", "PacDrive 30"}));
        // A save while running, as at the session's end: it fails without a word.
        SendMessageA(program.ControllerWindow(), WM_QUERYENDSESSION, 0, 0);
        EXPECT_FALSE(ShowsAnything(GetProcessId(program.server))) << "way " << way;
        EXPECT_EQ(program.ExitServer(), 0u) << "way " << way;
        if (lock != INVALID_HANDLE_VALUE) {
            CloseHandle(lock);
            SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(program.Settings(), "[General]\r\nU360MapFile=joy8way\r\n");
        } else {
            EXPECT_NE(GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
        }
    }
}

// A virus scanner or a sync tool holds the file for a moment as Velmora
// starts: it waits, reads the choices and loads them into the sticks, and
// the end writes them back unchanged.
TEST(Faults, SettingsHeldForAMomentAtStartupAreReadAndKept) {
    ProgramUnderTest program(1, "4");
    const char chosen[] = "[General]\r\nLaunchOnStartup=False\r\nMouseDrag=True\r\n"
                          "ReverseMouse=True\r\nU360MapFile=joy8way\r\nServoMapFile=joy8way\r\n";
    program.WriteSettings(chosen);
    HANDLE held = CreateFileA((program.Directory() + "Velmora.ini").c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    program.server = program.Start("");
    constexpr DWORD Held = 2000;
    Sleep(Held); // past the start's first read: it must ask again, as for a scanner's hold
    CloseHandle(held);
    EXPECT_TRUE(WaitForJournal(program, 0, "UltraStik 13 0 joy8way"))
        << "the stored map never reached the stick";
    EXPECT_TRUE(WaitForJournal(program, 0, "PacDrive 30"))
        << "nor the stored position the ServoStik";
    EXPECT_EQ(program.ExitServer(), 0u);
    EXPECT_EQ(program.Settings(), chosen);
}

TEST(Faults, CorruptedSettingsGiveDefaultsOrTheFirst255Characters) {
    std::string binary = "[General]\r\n";
    for (int i = 0; i < 512; ++i) {
        binary += static_cast<char>((i * 37 + 11) % 256);
    }
    const struct {
        std::string content;
        std::string u360;
        std::string servo;
    } rows[] = {
        {binary, "mouse", "joy4way"},
        {"[General]\r\nU360MapFile=" + std::string(100000, 'z') + "\r\nServoMapFile=joy8way\r\n",
         std::string(255, 'z'), "joy8way"},
        {"U360MapFile=analog\r\nServoMapFile=joy8way\r\n", "mouse", "joy4way"},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        ProgramUnderTest program(1, "4");
        program.WriteSettings(rows[row].content);
        EXPECT_EQ(program.Run("-exit"), 0u) << "row " << row;
        const Lines journal = program.Journal();
        EXPECT_TRUE(HasLine(journal, "UltraStik 13 0 " + rows[row].u360)) << "row " << row;
        EXPECT_TRUE(HasLine(journal, rows[row].servo == "joy8way" ? "PacDrive 30" : "PacDrive 29"))
            << "row " << row;
    }
}

// A launcher that runs other programs between its switches: every forwarded
// line must end with the instance's answer, never with a code of its own.
TEST(Load, TwoHundredForwardedLaunchesBetweenOtherProgramsAllExit1) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    constexpr int Launches = 200;
    std::map<DWORD, int> codes;
    for (int i = 0; i < Launches; ++i) {
        codes[program.Run(std::string("-u360 ") + Maps[i % 9])]++;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION other = {};
        char floor[] = LAUNCH_FLOOR;
        ASSERT_TRUE(CreateProcessA(nullptr, floor, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                   &startup, &other));
        EXPECT_EQ(WaitExit(other.hProcess, 20000), 0u);
        CloseHandle(other.hThread);
        CloseHandle(other.hProcess);
    }
    EXPECT_EQ(codes, (std::map<DWORD, int>{{1, Launches}}));
    EXPECT_EQ(program.ExitServer(), 0u);
}

TEST(Load, AThousandSticksAllGetTheMap) {
    ProgramUnderTest program(1000, "4");
    EXPECT_EQ(program.Run("-u360 joy4way -exit", 120000), 0u);
    const Lines journal = program.Journal();
    int loaded = 0;
    for (const std::string& line : journal) {
        if (line.rfind("UltraStik 13 ", 0) == 0) {
            EXPECT_EQ(line, "UltraStik 13 " + std::to_string(loaded) + " joy4way");
            ++loaded;
        }
    }
    EXPECT_EQ(loaded, 1000);
}

} // namespace
