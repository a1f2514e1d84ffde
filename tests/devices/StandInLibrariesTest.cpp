// The stand-in vendor libraries, loaded for real from a directory of their own,
// and the tray tip that names a faulty vendor library.
#include "devices/VendorCheck.h"
#include "support/Probes.h"
#include "support/TempDir.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Changes the working directory for its lifetime, on every way out of a test.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& directory) {
        GetCurrentDirectoryA(MAX_PATH, previous);
        SetCurrentDirectoryA(directory.c_str());
    }
    ~WorkingDirectory() { SetCurrentDirectoryA(previous); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    char previous[MAX_PATH] = {};
};

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
    std::vector<std::string> Journal() {
        return SplitLines(ReadWholeFile(dir.file("DeviceSim.log")));
    }

    TempDir dir;
    HMODULE ultraStik = nullptr;
    HMODULE pacDrive = nullptr;
};

TEST_F(StandIns, ReadTheirOwnDirectoryAndJournalEveryCallExactly) {
    WriteWholeFile(dir.file("DeviceSim.ini"),
                   "[UltraStik]\r\nCount=2\r\n[PacDrive]\r\nTypes=1, 4 ,4\r\n");
    // A different configuration in the working directory must not count.
    TempDir elsewhere;
    WriteWholeFile(elsewhere.file("DeviceSim.ini"), "[UltraStik]\r\nCount=9\r\n");
    WorkingDirectory inElsewhere(elsewhere.path());
    ASSERT_NO_FATAL_FAILURE(Load());

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

TEST(VendorCheck, TheTipNamesEachFaultInAFewWords) {
    // Each fault alone is checked end to end (Program tests); here none, two
    // at once, and the one no test can make.
    const struct {
        VendorFault ultraStik;
        VendorFault pacDrive;
        std::string tip;
    } rows[] = {
        {VendorFault::None, VendorFault::None, "Velmora"},
        {VendorFault::Unloadable, VendorFault::Missing,
         "Velmora: UltraStik.dll does not load; PacDrive.dll missing beside Velmora.exe"},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        UltraStikFault = rows[row].ultraStik;
        PacDriveFault = rows[row].pacDrive;
        char tip[sizeof AppTrayIcon.IconRecord.szTip] = {};
        DescribeVendorFaults(tip, sizeof tip);
        EXPECT_EQ(tip, rows[row].tip) << "row " << row;
        // Cut to the space given, and still terminated.
        constexpr std::size_t Short = 12;
        char cut[Short] = {};
        DescribeVendorFaults(cut, sizeof cut);
        EXPECT_EQ(std::string(cut), rows[row].tip.substr(0, Short - 1)) << "row " << row;
    }
    UltraStikFault = PacDriveFault = VendorFault::None;
}

// A file the loader refuses as no executable is "of the other bitness"
// only where its own header names another machine.
TEST(VendorCheck, AFileThatIsNoLibraryIsNotCalledOfTheOtherBitness) {
    const std::string library = ReadWholeFile(TestProgramDirectory() + "UltraStik.dll");
    constexpr std::size_t Headers = 512;
    const std::string files[] = {"not a library", library.substr(0, Headers)};
    for (std::size_t row = 0; row < std::size(files); ++row) {
        TempDir dir;
        WriteWholeFile(dir.file(UltraStikLibrary.file), files[row]);
        EXPECT_EQ(CheckVendorLibrary(UltraStikLibrary, dir.path().c_str()), VendorFault::Unloadable)
            << "row " << row;
    }
}

} // namespace
