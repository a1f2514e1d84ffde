// The stand-in vendor libraries, loaded for real from a directory of their own,
// and the startup check of the vendor libraries against faulty ones.
#include "devices/VendorCheck.h"
#include "support/Probes.h"
#include "support/TempDir.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
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

// A stand-in of the dist folders (Wine's path, VELMORA_DIST_ROOT), or a
// failure that says which build is missing.
std::string BuiltStandIn(const std::string& folder, const char* name) {
    const std::string path = std::string(VELMORA_DIST_ROOT "\\") + folder + "\\" + name;
    EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES)
        << path << " is not built (cmake --build --preset win32, then win64)";
    return path;
}

#ifdef _WIN64
const char* const OtherBitness = "win32";
const char* const OwnBuild = "win64";
#else
const char* const OtherBitness = "win64";
const char* const OwnBuild = "win32";
#endif

TEST(VendorCheck, TellsMissingOtherBitnessOlderAndSound) {
    // Names of their own, so that neither the system's search nor a module
    // already loaded under the vendor's name answers for them.
    TempDir dir;
    const struct {
        std::string source; // copied in as Checked.dll; empty: nothing there
        VendorFault fault;
    } rows[] = {
        {"", VendorFault::Missing},
        {BuiltStandIn(OtherBitness, "UltraStik.dll"), VendorFault::OtherBitness},
        {BuiltStandIn(std::string(OwnBuild) + "\\older", "UltraStik.dll"), VendorFault::Older},
        {BuiltStandIn(OwnBuild, "UltraStik.dll"), VendorFault::None},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        const std::string name = "Checked" + std::to_string(row) + ".dll";
        if (!rows[row].source.empty()) {
            ASSERT_TRUE(CopyFileA(rows[row].source.c_str(), dir.file(name).c_str(), FALSE))
                << "row " << row;
        }
        const VendorLibrary library = {name.c_str(), UltraStikLibrary.ordinals,
                                       UltraStikLibrary.ordinalCount};
        EXPECT_EQ(CheckVendorLibrary(library, dir.path().c_str()), rows[row].fault)
            << "row " << row;
        HMODULE kept = GetModuleHandleA(name.c_str());
        EXPECT_EQ(kept != nullptr, rows[row].fault == VendorFault::None)
            << "row " << row << ": only a sound library stays loaded";
        if (kept != nullptr) {
            FreeLibrary(kept); // so that the folder can go
        }
    }
}

TEST(VendorCheck, TheTipNamesEachFaultInAFewWords) {
    // Each fault alone is checked end to end; here none, two at once, and
    // the one no test can make.
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

} // namespace
