#include "cmdline/CommandDispatcher.h"
#include "devices/DeviceModes.h"
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
    {"-u360", {"UltraStik 13 0 mouse"}, {32774}, false, false},
    {"-u360 joy4way", {"UltraStik 13 0 joy4way"}, {32778}, false, false},
    {"-u360 Joy4way", {"UltraStik 13 0 Joy4way"}, {}, false, false},
    {"-u360 mouse -u360 joy4way", {"UltraStik 13 0 mouse"}, {32774}, false, false},
    {"-u360 \"\"", {"UltraStik 13 0 mouse"}, {32774}, false, false},
    {"-servo", {"PacDrive 29"}, {32784}, false, false},
    {"-servo joy8way", {"PacDrive 30"}, {32783}, false, false},
    {"-servo 4way", {"PacDrive 30"}, {32783}, false, false},
    {"-servo JOY4WAY", {"PacDrive 30"}, {32783}, false, false},
    {"-servo joy4way -u360 analog",
     {"UltraStik 13 0 analog", "PacDrive 29"},
     {32775, 32784},
     false,
     false},
    {"-exit", {}, {}, false, true},
    {"-u360 joy2way -exit", {"UltraStik 13 0 joy2way"}, {32781}, false, true},
    {"-u360 -exit", {"UltraStik 13 0 mouse"}, {32774}, false, true},
    {"-exit -servo joy8way -u360 vjoy2way",
     {"UltraStik 13 0 vjoy2way", "PacDrive 30"},
     {32782, 32783},
     false,
     true},
    {"stray -x -u360 easyjoy8way", {"UltraStik 13 0 easyjoy8way"}, {32777}, false, false},
};

class Dispatcher : public ::testing::Test {
  protected:
    void SetUp() override {
        g_trayIcon.CheckedIds.clear();
        U360DeviceCount = 1;
    }
    void TearDown() override {
        g_trayIcon.CheckedIds.clear();
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
        g_trayIcon.CheckedIds.clear();

        EXPECT_EQ(ProcessCommandLine(expected.commandLine), 1) << "row " << row;

        EXPECT_EQ(VendorRecorder::calls, expected.vendorCalls) << "row " << row;
        EXPECT_EQ(g_trayIcon.CheckedIds, expected.checked) << "row " << row;
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
    EXPECT_STREQ(g_settings.U360MapFile, "rdjoy4way");
    EXPECT_STREQ(g_settings.ServoMapFile, "joy8way");
    ProcessCommandLine("-servo");
    EXPECT_STREQ(g_settings.ServoMapFile, "joy4way");
}

TEST_F(Dispatcher, NoMemoryForTheVectorActsOnNothingAndSaysSo) {
    CommandLineRecorder::failAllocation = true;
    EXPECT_EQ(ProcessCommandLine("-u360 joy4way -exit"), 0);
    EXPECT_TRUE(VendorRecorder::calls.empty());
    EXPECT_TRUE(g_trayIcon.CheckedIds.empty());
    EXPECT_EQ(CommandLineRecorder::closes, 0);
    EXPECT_EQ(CommandLineRecorder::releases, 0);
}

TEST_F(Dispatcher, OverlongMapNameKeepsItsFirst255Bytes) {
    for (std::size_t length : {255u, 256u, 10000u}) {
        VendorRecorder::calls.clear();
        std::string name;
        for (std::size_t i = 0; i < length; ++i) {
            name += static_cast<char>('a' + i % 26);
        }
        ProcessCommandLine(("-u360 " + name).c_str());
        const std::string kept = name.substr(0, 255);
        EXPECT_EQ(std::string(g_settings.U360MapFile), kept) << "length " << length;
        ASSERT_EQ(VendorRecorder::calls.size(), 1u);
        EXPECT_EQ(VendorRecorder::calls[0], "UltraStik 13 0 " + kept) << "length " << length;
    }
}

} // namespace
