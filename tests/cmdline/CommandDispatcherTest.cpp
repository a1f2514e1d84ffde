#include "cmdline/CommandDispatcher.h"
#include "devices/DeviceDetection.h"
#include "devices/ServoModes.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "settings/Settings.h"
#include "support/Recorders.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct DispatchRow {
    const char* commandLine;
    std::vector<std::string> vendorCalls; // with one stick attached
    std::vector<int> checked;             // the tray's check list afterwards, from empty
    bool usage;
    bool close;
};

const DispatchRow DispatchTable[] = {
    {"", {}, {}, false, false},
    {"mouse", {}, {}, false, false},
    {"-help", {}, {}, true, false},
    {"-help -u360 joy4way -exit", {}, {}, true, false},
    {"-HELP", {}, {}, false, false},
    {"-u360", {"UltraStik 13 0 mouse"}, {IDM_U360_MOUSE}, false, false},
    {"-u360 joy4way", {"UltraStik 13 0 joy4way"}, {IDM_U360_JOY4WAY}, false, false},
    {"-u360 Joy4way", {"UltraStik 13 0 Joy4way"}, {}, false, false},
    {"-u360 mouse -u360 joy4way", {"UltraStik 13 0 mouse"}, {IDM_U360_MOUSE}, false, false},
    {"-u360 \"\"", {"UltraStik 13 0 mouse"}, {IDM_U360_MOUSE}, false, false},
    {"-servo", {"PacDrive 29"}, {IDM_SERVO_4WAY}, false, false},
    {"-servo joy8way", {"PacDrive 30"}, {IDM_SERVO_8WAY}, false, false},
    {"-servo 4way", {"PacDrive 30"}, {IDM_SERVO_8WAY}, false, false},
    {"-servo JOY4WAY", {"PacDrive 30"}, {IDM_SERVO_8WAY}, false, false},
    {"-servo joy4way -u360 analog",
     {"UltraStik 13 0 analog", "PacDrive 29"},
     {IDM_U360_ANALOG, IDM_SERVO_4WAY},
     false,
     false},
    {"-exit", {}, {}, false, true},
    {"-u360 joy2way -exit", {"UltraStik 13 0 joy2way"}, {IDM_U360_JOY2WAY}, false, true},
    {"-u360 -exit", {"UltraStik 13 0 mouse"}, {IDM_U360_MOUSE}, false, true},
    {"-exit -servo joy8way -u360 vjoy2way",
     {"UltraStik 13 0 vjoy2way", "PacDrive 30"},
     {IDM_U360_VJOY2WAY, IDM_SERVO_8WAY},
     false,
     true},
    {"stray -x -u360 easyjoy8way",
     {"UltraStik 13 0 easyjoy8way"},
     {IDM_U360_EASYJOY8WAY},
     false,
     false},
};

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        AppTrayIcon.CheckedIds.clear();
        U360DeviceCount = 1;
    }
    void TearDown() override {
        AppTrayIcon.CheckedIds.clear();
        U360DeviceCount = 0;
    }
    VendorRecorder vendor{1};
    ShellRecorder shell;
    CommandLineRecorder commandLine;
};

TEST_F(Dispatcher, ActsAsTheTableSays) {
    for (std::size_t row = 0; row < std::size(DispatchTable); ++row) {
        const DispatchRow& expected = DispatchTable[row];
        VendorRecorder::calls.clear();
        CommandLineRecorder::boxes.clear();
        CommandLineRecorder::closes = 0;
        CommandLineRecorder::releases = 0;
        AppTrayIcon.CheckedIds.clear();

        // What a start learns before it decides to hand the line over.
        const LineSwitches line = SwitchesOf(expected.commandLine);
        EXPECT_EQ(line.usage, expected.usage) << "row " << row;
        EXPECT_EQ(line.exit, expected.close) << "row " << row;
        EXPECT_EQ(line.any, std::strchr(expected.commandLine, '-') != nullptr) << "row " << row;
        CommandLineRecorder::releases = 0;
        EXPECT_EQ(ProcessCommandLine(expected.commandLine), 1) << "row " << row;

        EXPECT_EQ(VendorRecorder::calls, expected.vendorCalls) << "row " << row;
        EXPECT_EQ(AppTrayIcon.CheckedIds, expected.checked) << "row " << row;
        EXPECT_EQ(CommandLineRecorder::boxes.size(), expected.usage ? 1u : 0u) << "row " << row;
        EXPECT_EQ(CommandLineRecorder::closes, expected.close ? 1 : 0) << "row " << row;
        EXPECT_EQ(CommandLineRecorder::releases, 1) << "row " << row << ": one release";
    }
}

TEST_F(Dispatcher, UsageBoxTextCaptionAndStyle) {
    ProcessCommandLine("-help");
    ASSERT_EQ(CommandLineRecorder::boxes.size(), 1u);
    EXPECT_EQ(CommandLineRecorder::boxes[0].text,
              "Velmora Version 1.0\n"
              "\n"
              "USAGE: Velmora.exe -options\n"
              "\n"
              "options:\n"
              "  -exit             Exit program\n"
              "  -help             Displays this Message Box\n"
              "  -u360 [mouse|analog|joy8way|easyjoy8way|joy4way\n"
              "         djoy4way|rdjoy4way|joy2way|vjoy2way]\n"
              "  -servo [joy4way|joy8way]");
    EXPECT_EQ(CommandLineRecorder::boxes[0].caption, "Help");
    EXPECT_EQ(CommandLineRecorder::boxes[0].style, 0u); // MB_OK, no icon
}

TEST_F(Dispatcher, NamesReachTheSettings) {
    ProcessCommandLine("-u360 rdjoy4way -servo joy8way");
    EXPECT_STREQ(AppSettings.U360MapFile, "rdjoy4way");
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy8way");
    ProcessCommandLine("-servo");
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy4way");
}

TEST_F(Dispatcher, NoMemoryForTheVectorActsOnNothingAndSaysSo) {
    CommandLineRecorder::failAllocation = true;
    EXPECT_EQ(ProcessCommandLine("-u360 joy4way -exit"), 0);
    EXPECT_TRUE(VendorRecorder::calls.empty());
    EXPECT_TRUE(AppTrayIcon.CheckedIds.empty());
    EXPECT_EQ(CommandLineRecorder::closes, 0);
    EXPECT_EQ(CommandLineRecorder::releases, 0);
}

} // namespace
