// The functions the program calls the vendor libraries through: each reaches
// its own slot of the table, passes its arguments unchanged and gives back
// the library's result.
#include "devices/DeviceSeam.h"

#include <gtest/gtest.h>

namespace {

// Results no real count or type would give, one per slot.
constexpr int ResultOfSlot = 7000;
constexpr int StickIndex = 5;
constexpr const char* MapName = "rdjoy4way";
constexpr int NoSlot = -1;

int calledSlot = NoSlot;
int passedIndex = 0;
const char* passedName = nullptr;

template <int Slot> int WINAPI NoArguments() {
    calledSlot = Slot;
    return ResultOfSlot + Slot;
}

template <int Slot> int WINAPI IndexArgument(int index) {
    calledSlot = Slot;
    passedIndex = index;
    return ResultOfSlot + Slot;
}

template <int Slot> int WINAPI IndexAndName(int index, const char* name) {
    calledSlot = Slot;
    passedIndex = index;
    passedName = name;
    return ResultOfSlot + Slot;
}

// The table in declaration order, each slot answering with its own number.
enum Slot { U360Count, U360Shutdown, U360LoadMap, PacCount, PacShutdown, PacType, Servo4, Servo8 };

class Seam : public ::testing::Test {
  protected:
    void SetUp() override {
        saved = DeviceCalls;
        DeviceCalls = {NoArguments<U360Count>, NoArguments<U360Shutdown>, IndexAndName<U360LoadMap>,
                       NoArguments<PacCount>,  NoArguments<PacShutdown>,  IndexArgument<PacType>,
                       NoArguments<Servo4>,    NoArguments<Servo8>};
    }
    void TearDown() override { DeviceCalls = saved; }
    DeviceSeam saved = {};
};

struct Row {
    const char* name;
    int (*call)();
    int slot;
    bool takesIndex;
    bool takesName;
};

const Row Rows[] = {
    {"CallU360Count", [] { return CallU360Count(); }, U360Count, false, false},
    {"CallU360Shutdown", [] { return CallU360Shutdown(); }, U360Shutdown, false, false},
    {"CallU360LoadMap", [] { return CallU360LoadMap(StickIndex, MapName); }, U360LoadMap, true,
     true},
    {"CallPacDriveCount", [] { return CallPacDriveCount(); }, PacCount, false, false},
    {"CallPacDriveShutdown", [] { return CallPacDriveShutdown(); }, PacShutdown, false, false},
    {"CallPacDriveDeviceType", [] { return CallPacDriveDeviceType(StickIndex); }, PacType, true,
     false},
    {"CallServo4Way", [] { return CallServo4Way(); }, Servo4, false, false},
    {"CallServo8Way", [] { return CallServo8Way(); }, Servo8, false, false},
};

TEST_F(Seam, EachCallReachesItsSlotWithItsArgumentsAndGivesItsResult) {
    for (const Row& row : Rows) {
        calledSlot = NoSlot;
        passedIndex = 0;
        passedName = nullptr;
        EXPECT_EQ(row.call(), ResultOfSlot + row.slot) << row.name;
        EXPECT_EQ(calledSlot, row.slot) << row.name;
        EXPECT_EQ(passedIndex, row.takesIndex ? StickIndex : 0) << row.name;
        EXPECT_EQ(passedName, row.takesName ? MapName : nullptr) << row.name << ": the same text";
    }
}

} // namespace
