// The stand-in vendor libraries, loaded for real from a directory of their own.
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string TestProgramDirectory() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\') + 1);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start) + "<no CR LF>");
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// Both stand-ins copied into a fresh directory and loaded from there.
class StandIns : public ::testing::Test {
  protected:
    using NoArgs = int(WINAPI*)();
    using OneArg = int(WINAPI*)(int);
    using LoadMap = int(WINAPI*)(int, const char*);

    void Load() {
        for (const char* name : {"UltraStik.dll", "PacDrive.dll"}) {
            ASSERT_TRUE(
                CopyFileA((TestProgramDirectory() + name).c_str(), dir.file(name).c_str(), FALSE));
        }
        ultraStik = LoadLibraryA(dir.file("UltraStik.dll").c_str());
        pacDrive = LoadLibraryA(dir.file("PacDrive.dll").c_str());
        ASSERT_NE(ultraStik, nullptr);
        ASSERT_NE(pacDrive, nullptr);
    }
    void TearDown() override {
        if (ultraStik) {
            FreeLibrary(ultraStik);
        }
        if (pacDrive) {
            FreeLibrary(pacDrive);
        }
    }
    template <typename F> F Ordinal(HMODULE module, int ordinal) {
        return reinterpret_cast<F>(
            reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
    }
    std::vector<std::string> Journal() { return Lines(ReadWholeFile(dir.file("DeviceSim.log"))); }

    TempDir dir;
    HMODULE ultraStik = nullptr;
    HMODULE pacDrive = nullptr;
};

TEST_F(StandIns, ExportExactlyTheOrdinalsByOrdinalOnly) {
    Load();
    for (int ordinal = 1; ordinal <= 40; ++ordinal) {
        const bool u = ordinal == 1 || ordinal == 2 || ordinal == 13;
        const bool p =
            ordinal == 2 || ordinal == 3 || ordinal == 20 || ordinal == 29 || ordinal == 30;
        EXPECT_EQ(GetProcAddress(ultraStik, MAKEINTRESOURCEA(ordinal)) != nullptr, u) << ordinal;
        EXPECT_EQ(GetProcAddress(pacDrive, MAKEINTRESOURCEA(ordinal)) != nullptr, p) << ordinal;
    }
    EXPECT_EQ(GetProcAddress(ultraStik, "UltraStikCount"), nullptr);
    EXPECT_EQ(GetProcAddress(pacDrive, "PacDriveCount"), nullptr);
}

TEST_F(StandIns, ReadTheirOwnDirectoryAndJournalEveryCallExactly) {
    WriteWholeFile(dir.file("DeviceSim.ini"),
                   "[UltraStik]\r\nCount=2\r\n[PacDrive]\r\nTypes=1, 4 ,4\r\n");
    // A different configuration in the working directory must not count.
    TempDir elsewhere;
    WriteWholeFile(elsewhere.file("DeviceSim.ini"), "[UltraStik]\r\nCount=9\r\n");
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    SetCurrentDirectoryA(elsewhere.path().c_str());
    Load();

    EXPECT_EQ(Ordinal<NoArgs>(ultraStik, 1)(), 2);
    Ordinal<LoadMap>(ultraStik, 13)(0, "joy4way");
    Ordinal<LoadMap>(ultraStik, 13)(1, "a\\b\x01\x1F c\x7F\xE9");
    Ordinal<NoArgs>(ultraStik, 2)();
    EXPECT_EQ(Ordinal<NoArgs>(pacDrive, 2)(), 3);
    EXPECT_EQ(Ordinal<OneArg>(pacDrive, 20)(0), 1);
    EXPECT_EQ(Ordinal<OneArg>(pacDrive, 20)(2), 4);
    EXPECT_EQ(Ordinal<OneArg>(pacDrive, 20)(3), 0) << "out of range";
    EXPECT_EQ(Ordinal<OneArg>(pacDrive, 20)(-1), 0) << "out of range";
    Ordinal<NoArgs>(pacDrive, 29)();
    Ordinal<NoArgs>(pacDrive, 30)();
    Ordinal<NoArgs>(pacDrive, 3)();
    SetCurrentDirectoryA(previous);

    EXPECT_EQ(Journal(), (std::vector<std::string>{
                             "UltraStik 1 -> 2",
                             "UltraStik 13 0 joy4way",
                             "UltraStik 13 1 a\\\\b\\x01\\x1F c\x7F\xE9",
                             "UltraStik 2",
                             "PacDrive 2 -> 3",
                             "PacDrive 20 0 -> 1",
                             "PacDrive 20 2 -> 4",
                             "PacDrive 20 3 -> 0",
                             "PacDrive 20 -1 -> 0",
                             "PacDrive 29",
                             "PacDrive 30",
                             "PacDrive 3",
                         }));
    EXPECT_EQ(GetFileAttributesA(elsewhere.file("DeviceSim.log").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(StandIns, NoConfigurationMeansNoDevicesAndEveryCallAccepted) {
    Load();
    EXPECT_EQ(Ordinal<NoArgs>(ultraStik, 1)(), 0);
    EXPECT_EQ(Ordinal<NoArgs>(pacDrive, 2)(), 0);
    EXPECT_EQ(Ordinal<OneArg>(pacDrive, 20)(0), 0);
    EXPECT_NE(Ordinal<LoadMap>(ultraStik, 13)(0, "mouse"), 0);
    EXPECT_EQ(Journal(), (std::vector<std::string>{"UltraStik 1 -> 0", "PacDrive 2 -> 0",
                                                   "PacDrive 20 0 -> 0", "UltraStik 13 0 mouse"}));
}

TEST_F(StandIns, TheConfigurationIsReadAtEachCount) {
    Load();
    WriteWholeFile(dir.file("DeviceSim.ini"), "[UltraStik]\r\nCount=1\r\n");
    EXPECT_EQ(Ordinal<NoArgs>(ultraStik, 1)(), 1);
    WriteWholeFile(dir.file("DeviceSim.ini"),
                   "[UltraStik]\r\nCount=1000\r\n[PacDrive]\r\nTypes=4\r\n");
    EXPECT_EQ(Ordinal<NoArgs>(ultraStik, 1)(), 1000);
    EXPECT_EQ(Ordinal<NoArgs>(pacDrive, 2)(), 1);
}

TEST_F(StandIns, TwoThreadsLoseAndMixNoLine) {
    Load();
    auto loadMap = Ordinal<LoadMap>(ultraStik, 13);
    constexpr int PerThread = 200;
    auto writer = [loadMap](int thread) {
        for (int i = 0; i < PerThread; ++i) {
            loadMap(i,
                    (std::string(50, static_cast<char>('a' + thread)) + std::to_string(i)).c_str());
        }
    };
    std::thread first(writer, 0), second(writer, 1);
    first.join();
    second.join();
    const std::vector<std::string> lines = Journal();
    ASSERT_EQ(lines.size(), 2u * PerThread);
    int seen[2] = {0, 0};
    for (const std::string& line : lines) {
        std::istringstream fields(line);
        std::string library, ordinal, index, name;
        fields >> library >> ordinal >> index >> name;
        ASSERT_EQ(library + " " + ordinal, "UltraStik 13") << line;
        const int thread = name[0] - 'a';
        ASSERT_TRUE(thread == 0 || thread == 1) << line;
        EXPECT_EQ(name, std::string(50, name[0]) + index) << line;
        ++seen[thread];
    }
    EXPECT_EQ(seen[0], PerThread);
    EXPECT_EQ(seen[1], PerThread);
}

} // namespace
