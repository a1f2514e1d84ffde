#include "app/AppState.h"
#include "app/ControllerWindow.h"
#include "devices/DeviceDetection.h"
#include "devices/ServoModes.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "settings/Settings.h"
#include "support/Recorders.h"
#include "tray/TrayIcon.h"
#include "tray/TrayPicture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

HICON ProgramIcon(int id) {
    return LoadSmallIcon(AppInstance, id);
}

// The two tray pictures exist and differ, so comparing with them means something.
void ExpectDistinctTrayPictures() {
    ASSERT_NE(ProgramIcon(IDI_MOUSE), nullptr);
    ASSERT_NE(ProgramIcon(IDI_JOYSTICK_SMALL), nullptr);
    ASSERT_NE(ProgramIcon(IDI_MOUSE), ProgramIcon(IDI_JOYSTICK_SMALL));
}

class Modes : public ::testing::Test {
  protected:
    void SetUp() override {
        AppInstance = GetModuleHandleA(nullptr);
        AppTrayIcon.CheckedIds.clear();
        AppTrayIcon.GreyedPositions.clear();
        // Installed but off the taskbar: SetIcon only remembers the picture.
        AppTrayIcon.TraySupported = 1;
        AppTrayIcon.State = TrayState::OffTaskbar;
        AppTrayIcon.IconRecord.hIcon = nullptr;
        AppSettings = Settings{};
        std::strcpy(AppSettings.U360MapFile, "mouse");
        std::strcpy(AppSettings.ServoMapFile, "joy4way");
        ExpectDistinctTrayPictures();
    }
    void TearDown() override { U360DeviceCount = 0; }
    void Sticks(int count) {
        VendorRecorder::sticks = count;
        U360DeviceCount = count;
    }
    VendorRecorder vendor;
};

TEST_F(Modes, MouseWithTwoSticksLoadsBothAndShowsTheMouse) {
    Sticks(2);
    EXPECT_EQ(SelectU360Mode(IDM_U360_MOUSE), 1);
    EXPECT_EQ(VendorRecorder::calls,
              (std::vector<std::string>{"UltraStik 13 0 mouse", "UltraStik 13 1 mouse"}));
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, ProgramIcon(IDI_MOUSE));
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_U360_MOUSE});
    EXPECT_STREQ(AppSettings.U360MapFile, "mouse");

    EXPECT_EQ(SelectU360Mode(IDM_U360_JOY8WAY), 1);
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, ProgramIcon(IDI_JOYSTICK_SMALL));
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_U360_JOY8WAY});
}

TEST_F(Modes, MouseWithNoStickCallsNothingButStillChecks) {
    Sticks(0);
    EXPECT_EQ(SelectU360Mode(IDM_U360_MOUSE), 1);
    EXPECT_TRUE(VendorRecorder::calls.empty());
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, ProgramIcon(IDI_JOYSTICK_SMALL));
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_U360_MOUSE});
}

TEST_F(Modes, IdsOutsideTheNineChangeNothing) {
    Sticks(1);
    SelectU360Mode(IDM_U360_ANALOG);
    VendorRecorder::calls.clear();
    const HICON before = AppTrayIcon.IconRecord.hIcon;
    for (int id : {IDM_SETTINGS, IDM_SERVO_8WAY, IDM_SERVO_4WAY, 0, -1, 65535, IDM_ABOUT}) {
        EXPECT_EQ(SelectU360Mode(id), 0) << id;
    }
    EXPECT_TRUE(VendorRecorder::calls.empty());
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_U360_ANALOG});
    EXPECT_STREQ(AppSettings.U360MapFile, "analog");
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, before);
}

TEST_F(Modes, EveryModeLoadsItsNameAndChecksOnlyItself) {
    Sticks(1);
    const char* names[] = {"mouse",    "analog",    "joy8way", "easyjoy8way", "joy4way",
                           "djoy4way", "rdjoy4way", "joy2way", "vjoy2way"};
    AppTrayIcon.SetItemChecked(IDM_SERVO_4WAY, 1);
    for (int row = 0; row < 9; ++row) {
        VendorRecorder::calls.clear();
        const int id = IDM_U360_MOUSE + row;
        EXPECT_EQ(SelectU360Mode(id), 1);
        EXPECT_EQ(VendorRecorder::calls,
                  std::vector<std::string>{std::string("UltraStik 13 0 ") + names[row]});
        EXPECT_EQ(AppTrayIcon.CheckedIds, (std::vector<int>{IDM_SERVO_4WAY, id})) << "row " << row;
    }
    // The current mode again: loaded again, checked once.
    VendorRecorder::calls.clear();
    EXPECT_EQ(SelectU360Mode(IDM_U360_VJOY2WAY), 1);
    EXPECT_EQ(VendorRecorder::calls.size(), 1u);
    EXPECT_EQ(AppTrayIcon.CheckedIds, (std::vector<int>{IDM_SERVO_4WAY, IDM_U360_VJOY2WAY}));
}

TEST_F(Modes, AnyNameIsHandedOnAndOnlyExactMouseShowsTheMouse) {
    Sticks(1);
    ApplyU360Map("Mouse");
    EXPECT_EQ(VendorRecorder::calls, std::vector<std::string>{"UltraStik 13 0 Mouse"});
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, ProgramIcon(IDI_JOYSTICK_SMALL));
    EXPECT_STREQ(AppSettings.U360MapFile, "Mouse");
    EXPECT_TRUE(AppTrayIcon.CheckedIds.empty());
    ApplyU360Map("mouse");
    EXPECT_EQ(AppTrayIcon.IconRecord.hIcon, ProgramIcon(IDI_MOUSE));
}

TEST_F(Modes, AnOverlongNameIsCutTo255BytesEverywhere) {
    Sticks(2);
    for (std::size_t length : {255u, 256u, 10000u}) {
        VendorRecorder::calls.clear();
        std::string name(length, 'x');
        name[0] = 'a';
        ApplyU360Map(name.c_str());
        const std::string kept = name.substr(0, 255);
        EXPECT_EQ(std::string(AppSettings.U360MapFile), kept) << length;
        EXPECT_EQ(VendorRecorder::calls,
                  (std::vector<std::string>{"UltraStik 13 0 " + kept, "UltraStik 13 1 " + kept}))
            << length;
    }
}

TEST_F(Modes, ServoModesSwitchEveryServoStikEvenWithNoneFound) {
    EXPECT_EQ(SelectServoMode(IDM_SERVO_4WAY), 1);
    EXPECT_EQ(VendorRecorder::calls, std::vector<std::string>{"PacDrive 29"});
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy4way");
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_SERVO_4WAY});

    VendorRecorder::calls.clear();
    EXPECT_EQ(SelectServoMode(IDM_SERVO_8WAY), 1);
    EXPECT_EQ(SelectServoMode(IDM_SERVO_8WAY), 1);
    EXPECT_EQ(VendorRecorder::calls, (std::vector<std::string>{"PacDrive 30", "PacDrive 30"}));
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy8way");
    EXPECT_EQ(AppTrayIcon.CheckedIds, std::vector<int>{IDM_SERVO_8WAY});

    VendorRecorder::calls.clear();
    for (int id : {IDM_U360_VJOY2WAY, IDM_SETTINGS, 32785, 0}) {
        EXPECT_EQ(SelectServoMode(id), 0) << id;
    }
    EXPECT_TRUE(VendorRecorder::calls.empty());
    EXPECT_STREQ(AppSettings.ServoMapFile, "joy8way");
}

TEST_F(Modes, HotKeysF4AndF8) {
    const struct {
        WPARAM hotKey;
        std::vector<std::string> calls;
        std::vector<int> checked;
    } rows[] = {
        {0, {"PacDrive 29"}, {IDM_SERVO_4WAY}}, {1, {"PacDrive 30"}, {IDM_SERVO_8WAY}},
        {1, {"PacDrive 30"}, {IDM_SERVO_8WAY}}, {2, {}, {IDM_SERVO_8WAY}},
        {0, {"PacDrive 29"}, {IDM_SERVO_4WAY}},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        VendorRecorder::calls.clear();
        EXPECT_EQ(ControllerDialogProc(nullptr, WM_HOTKEY, rows[row].hotKey, 0), TRUE);
        EXPECT_EQ(VendorRecorder::calls, rows[row].calls) << "row " << row;
        EXPECT_EQ(AppTrayIcon.CheckedIds, rows[row].checked) << "row " << row;
    }
}

TEST_F(Modes, DetectionCountsAndGreysAbsentKinds) {
    const struct {
        int sticks;
        std::vector<int> types;
        int servoStiks;
        std::vector<int> greyed;
    } rows[] = {
        {0, {}, 0, {0, 1}},
        {2, {4}, 1, {}},
        {1, {1, 2, 3}, 0, {1}},
        {0, {4, 0, 4}, 2, {0}},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        VendorRecorder recorder(rows[row].sticks, rows[row].types);
        AppTrayIcon.GreyedPositions.clear();
        DetectDevices();
        EXPECT_EQ(U360DeviceCount, rows[row].sticks) << "row " << row;
        EXPECT_EQ(PacDriveDeviceCount, static_cast<int>(rows[row].types.size())) << "row " << row;
        EXPECT_EQ(ServoStikCount, rows[row].servoStiks) << "row " << row;
        EXPECT_EQ(AppTrayIcon.GreyedPositions, rows[row].greyed) << "row " << row;
        // Ordinal 1, then ordinal 2, then one type query per PacDrive device.
        ASSERT_EQ(VendorRecorder::calls.size(), 2 + rows[row].types.size()) << "row " << row;
        EXPECT_EQ(VendorRecorder::calls[0].rfind("UltraStik 1 ", 0), 0u);
        EXPECT_EQ(VendorRecorder::calls[1].rfind("PacDrive 2 ", 0), 0u);
    }
}

// No call goes into a closed library (the session's end closes them, and
// the session may go on): it is opened again first. Any number of device
// changes costs one recount, before the next call.
TEST_F(Modes, ALibraryIsOpenedAgainAndCountedOnceBeforeItsNextUse) {
    Sticks(1);
    const struct {
        void (*before)();
        std::vector<std::string> calls;
    } rows[] = {
        {[] {
             CloseDeviceLibraries();
             CloseDeviceLibraries();
         },
         {"UltraStik 2", "PacDrive 3", "UltraStik 1 -> 1", "PacDrive 2 -> 0", "PacDrive 30"}},
        {[] {
             for (int i = 0; i < 1000; ++i) {
                 DevicesChanged();
             }
         },
         {"UltraStik 1 -> 1", "PacDrive 2 -> 0", "PacDrive 30"}},
        {[] {}, {"PacDrive 30"}},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        VendorRecorder::calls.clear();
        rows[row].before();
        SelectServoMode(CommandServo8Way);
        EXPECT_EQ(VendorRecorder::calls, rows[row].calls) << "row " << row;
    }
}

// Counted at startup and again whenever the system says devices changed: a
// kind's submenu is greyed while none is there, a failed (negative) count
// included, and enabled once one is.
TEST_F(Modes, EachCountGreysOrEnablesTheSubmenuOfItsKind) {
    const struct {
        int sticks;
        std::vector<int> pacDriveTypes;
        bool u360Greyed;
        bool servoGreyed;
    } rows[] = {
        {0, {}, true, true},
        {-1, {1}, true, true},
        {2, {ServoStikDeviceType}, false, false},
        {1, {1, 1}, false, true},
        {0, {ServoStikDeviceType}, true, false},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        VendorRecorder devices(rows[row].sticks, rows[row].pacDriveTypes);
        DetectDevices();
        const auto greyed = [](int position) {
            const IdList& list = AppTrayIcon.GreyedPositions;
            return std::find(list.begin(), list.end(), position) != list.end();
        };
        EXPECT_EQ(greyed(IDM_POS_U360_SUBMENU), rows[row].u360Greyed) << "row " << row;
        EXPECT_EQ(greyed(IDM_POS_SERVO_SUBMENU), rows[row].servoGreyed) << "row " << row;
        EXPECT_GE(U360DeviceCount, 0) << "row " << row;
    }
}

} // namespace
