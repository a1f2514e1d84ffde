#include "settings/ProgramDirectory.h"
#include "settings/Settings.h"
#include "support/Probes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        AppSettings = Settings{};
        path = dir.file("Velmora.ini");
    }
    TempDir dir;
    std::string path;
};

const char FreshFile[] = "[General]\r\n"
                         "LaunchOnStartup=False\r\n"
                         "MouseDrag=False\r\n"
                         "ReverseMouse=False\r\n"
                         "U360MapFile=mouse\r\n"
                         "ServoMapFile=joy4way\r\n";

TEST_F(SettingsFile, NoFileGivesDefaultsAndTheFirstChangeWritesTheFiveKeysInOrder) {
    LoadSettings(path.c_str());
    EXPECT_EQ(AppSettings.LaunchOnStartup, 0);
    EXPECT_EQ(AppSettings.MouseDrag, 0);
    EXPECT_EQ(AppSettings.ReverseMouse, 0);
    EXPECT_STREQ(AppSettings.U360MapFile, "mouse");
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy4way");
    EXPECT_EQ(SaveSettings(path.c_str()), SaveResult::Unchanged);
    EXPECT_EQ(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << "made a file";

    std::strcpy(AppSettings.U360MapFile, "joy2way");
    EXPECT_EQ(SaveSettings(path.c_str()), SaveResult::Written);
    std::string expected = FreshFile;
    expected.replace(expected.find("mouse"), 5, "joy2way");
    EXPECT_EQ(ReadWholeFile(path), expected);
    EXPECT_EQ(SaveSettings(path.c_str()), SaveResult::Unchanged);
    EXPECT_EQ(GetFileAttributesA((path.substr(0, path.size() - 1) + "~").c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "the copy was left beside the file";
}

std::string Utf16(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// Once a choice differs from what the file gives, the file is brought up to
// the record in its own form; a flag in other words or a key left to its
// default is no change.
TEST_F(SettingsFile, ASaveWritesOnlyAChangeAndKeepsTheFilesForm) {
    const struct {
        std::string before;
        const char* u360; // the choice made, or none
        SaveResult result;
        std::string after;
    } rows[] = {
        {FreshFile, nullptr, SaveResult::Unchanged, FreshFile},
        {"[General]\r\nlaunchonstartup=no\r\nServoMapFile=joy4way\r\n", "mouse",
         SaveResult::Unchanged, "[General]\r\nlaunchonstartup=no\r\nServoMapFile=joy4way\r\n"},
        {"; mine\r\n[General]\r\nMouseDrag=TRUE\r\nU360MapFile=analog\r\n", "joy2way",
         SaveResult::Written,
         "; mine\r\n[General]\r\nMouseDrag=True\r\nU360MapFile=joy2way\r\nLaunchOnStartup=False"
         "\r\nReverseMouse=False\r\nServoMapFile=joy4way\r\n"},
        {Utf16("[General]\r\nU360MapFile=analog\r\n"), "joy2way", SaveResult::Written,
         Utf16("[General]\r\nU360MapFile=joy2way\r\nLaunchOnStartup=False\r\nMouseDrag=False"
               "\r\nReverseMouse=False\r\nServoMapFile=joy4way\r\n")},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        WriteWholeFile(path, rows[row].before);
        LoadSettings(path.c_str());
        if (rows[row].u360 != nullptr) {
            std::strcpy(AppSettings.U360MapFile, rows[row].u360);
        }
        EXPECT_EQ(SaveSettings(path.c_str()), rows[row].result) << "row " << row;
        EXPECT_EQ(ReadWholeFile(path), rows[row].after) << "row " << row;
    }
}

TEST_F(SettingsFile, FlagsReadTrueInAnyCaseAndNothingElse) {
    const struct {
        const char* stored;
        int flag;
    } rows[] = {{"True", 1}, {"TRUE", 1}, {"true", 1},  {"tRuE", 1}, {"1", 0},
                {"yes", 0},  {"", 0},     {"Truee", 0}, {"Tru", 0},  {"False", 0}};
    for (const auto& row : rows) {
        WriteWholeFile(path, std::string("[General]\r\nLaunchOnStartup=") + row.stored +
                                 "\r\nMouseDrag=" + row.stored + "\r\nReverseMouse=" + row.stored +
                                 "\r\n");
        LoadSettings(path.c_str());
        EXPECT_EQ(AppSettings.LaunchOnStartup, row.flag) << row.stored;
        EXPECT_EQ(AppSettings.MouseDrag, row.flag) << row.stored;
        EXPECT_EQ(AppSettings.ReverseMouse, row.flag) << row.stored;
    }
}

TEST_F(SettingsFile, ASaveLeavesOtherSectionsAndKeysAlone) {
    WriteWholeFile(path, "[Other]\r\nKey=Value\r\n"
                         "[General]\r\nExtra=kept\r\nU360MapFile=analog\r\n"
                         "[Tail]\r\nA=1\r\n");
    LoadSettings(path.c_str());
    EXPECT_STREQ(AppSettings.U360MapFile, "analog");
    AppSettings.LaunchOnStartup = 5;
    std::strcpy(AppSettings.U360MapFile, "joy2way");
    SaveSettings(path.c_str());

    char value[64];
    GetPrivateProfileStringA("Other", "Key", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "Value");
    GetPrivateProfileStringA("General", "Extra", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "kept");
    GetPrivateProfileStringA("Tail", "A", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "1");
    GetPrivateProfileStringA("General", "LaunchOnStartup", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "True");
    GetPrivateProfileStringA("General", "U360MapFile", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "joy2way");
}

TEST_F(SettingsFile, NamesLoadAsStored) {
    const std::string longName(300, 'n');
    const struct {
        std::string line;
        std::string u360;
    } rows[] = {
        {"U360MapFile=Mouse", "Mouse"},
        {"U360MapFile=", ""},
        {"U360MapFile=" + longName, longName.substr(0, 255)},
        {"Other=1", "mouse"},
    };
    for (const auto& row : rows) {
        WriteWholeFile(path, "[General]\r\n" + row.line + "\r\nServoMapFile=JOY4WAY\r\n");
        LoadSettings(path.c_str());
        EXPECT_EQ(std::string(AppSettings.U360MapFile), row.u360) << row.line;
        EXPECT_STREQ(AppSettings.ServoMapFile, "JOY4WAY");
    }
    WriteWholeFile(path, "[General]\r\nU360MapFile=Mouse\r\n");
    LoadSettings(path.c_str());
    SaveSettings(path.c_str());
    char value[64];
    GetPrivateProfileStringA("General", "U360MapFile", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "Mouse");
}

TEST_F(SettingsFile, AnUnwritableFileFailsSilentlyAndKeepsTheRecord) {
    WriteWholeFile(path, FreshFile);
    LoadSettings(path.c_str());
    std::strcpy(AppSettings.U360MapFile, "joy8way");
    AppSettings.MouseDrag = 1;
    {
        // Held open without write sharing by another program. (The read-only
        // attribute would not do here: Wine running as root writes anyway.)
        HANDLE lock = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(lock, INVALID_HANDLE_VALUE);
        EXPECT_EQ(SaveSettings(path.c_str()), SaveResult::Failed);
        CloseHandle(lock);
    }
    EXPECT_STREQ(AppSettings.U360MapFile, "joy8way");
    EXPECT_EQ(AppSettings.MouseDrag, 1);
    EXPECT_EQ(ReadWholeFile(path), FreshFile);
    // Let go: the next chance writes it.
    EXPECT_EQ(SaveSettings(path.c_str()), SaveResult::Written);
    EXPECT_EQ(IniValue(path, "U360MapFile"), "joy8way");
    WriteWholeFile(path, FreshFile);
    LoadSettings(path.c_str());
    std::strcpy(AppSettings.U360MapFile, "joy8way");

    // A settings "file" that is a directory, and one in a missing directory.
    const std::string asDirectory = dir.file("Directory.ini");
    CreateDirectoryA(asDirectory.c_str(), nullptr);
    SaveSettings(asDirectory.c_str());
    EXPECT_NE(GetFileAttributesA(asDirectory.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    SaveSettings(dir.file("missing\\Velmora.ini").c_str());
    EXPECT_EQ(GetFileAttributesA(dir.file("missing").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_STREQ(AppSettings.U360MapFile, "joy8way");
}

// Held open without sharing by another program: for a moment (a scanner or a
// sync tool at log-on) the load waits and reads it; for longer it takes the
// defaults, and a save writes back only what changed since.
DWORD WINAPI CloseAfterASecond(LPVOID file) {
    constexpr DWORD Held = 1000;
    Sleep(Held); // held past the first read, as a scanner holds a file at log-on
    CloseHandle(file);
    return 0;
}

TEST_F(SettingsFile, AFileHeldAtLoadIsReadOnceFreeOrKeepsWhatWasNeverRead) {
    const char chosen[] = "[General]\r\n"
                          "LaunchOnStartup=False\r\n"
                          "MouseDrag=True\r\n"
                          "ReverseMouse=True\r\n"
                          "U360MapFile=joy8way\r\n"
                          "ServoMapFile=joy8way\r\n";
    WriteWholeFile(path, chosen);
    const auto hold = [this] {
        return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    HANDLE briefly = hold();
    ASSERT_NE(briefly, INVALID_HANDLE_VALUE);
    HANDLE closer = CreateThread(nullptr, 0, CloseAfterASecond, briefly, 0, nullptr);
    LoadSettings(path.c_str());
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    EXPECT_STREQ(AppSettings.U360MapFile, "joy8way") << "gave up on a file held for a moment";
    EXPECT_EQ(AppSettings.MouseDrag, 1);

    HANDLE throughout = hold();
    ASSERT_NE(throughout, INVALID_HANDLE_VALUE);
    LoadSettings(path.c_str());
    CloseHandle(throughout);
    EXPECT_STREQ(AppSettings.U360MapFile, "mouse");
    EXPECT_EQ(AppSettings.MouseDrag, 0);
    std::strcpy(AppSettings.ServoMapFile, "joy4way"); // the default: no change
    std::strcpy(AppSettings.U360MapFile, "analog");   // a command's choice
    SaveSettings(path.c_str());
    char value[64];
    GetPrivateProfileStringA("General", "U360MapFile", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "analog");
    GetPrivateProfileStringA("General", "ServoMapFile", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "joy8way") << "a choice never read was overwritten";
    GetPrivateProfileStringA("General", "MouseDrag", "", value, sizeof value, path.c_str());
    EXPECT_STREQ(value, "True") << "a flag never read was overwritten";
}

TEST(SettingsPath, IsTheDirectoryAndTheFileNameOrNothing) {
    char out[MAX_PATH];
    EXPECT_TRUE(BuildSettingsPath("C:\\Games\\", out));
    EXPECT_STREQ(out, "C:\\Games\\Velmora.ini");

    std::string directory = "C:\\" + std::string(259 - 3 - 11, 'd');
    directory.back() = '\\';
    ASSERT_EQ(directory.size() + 11, 259u);
    EXPECT_TRUE(BuildSettingsPath(directory.c_str(), out));
    EXPECT_EQ(std::strlen(out), 259u);

    directory.insert(3, "x");
    EXPECT_FALSE(BuildSettingsPath(directory.c_str(), out));
    EXPECT_STREQ(out, "") << "a path that does not fit must not be cut into another name";
    EXPECT_FALSE(BuildSettingsPath("", out));
}

TEST(ProgramDirectory, IsThePathUpToItsLastBackslash) {
    const struct {
        const char* module;
        const char* directory;
    } rows[] = {{"C:\\Games\\Velmora.exe", "C:\\Games\\"},
                {"C:\\Velmora.exe", "C:\\"},
                {"C:\\a b\\c/d\\Velmora.exe", "C:\\a b\\c/d\\"},
                {"C:/x/Velmora.exe", "C:/x/Velmora.exe"},
                {"Velmora.exe", "Velmora.exe"}};
    for (const auto& row : rows) {
        char out[MAX_PATH];
        DirectoryOfModulePath(row.module, out);
        EXPECT_STREQ(out, row.directory) << row.module;
    }
    char own[MAX_PATH];
    GetProgramDirectory(own);
    ASSERT_GT(std::strlen(own), 3u);
    EXPECT_EQ(own[std::strlen(own) - 1], '\\');
}

} // namespace
