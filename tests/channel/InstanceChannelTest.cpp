// What the channel asks of USER32 that older Windows may lack.
#include "channel/ChannelSeam.h"
#include "channel/InstanceChannel.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

struct FilterCall {
    HWND window; // null for the whole process (Vista's call)
    UINT message;
    DWORD action;
    bool operator==(const FilterCall& other) const {
        return window == other.window && message == other.message && action == other.action;
    }
};
std::vector<FilterCall> filterCalls; // written by the channel thread, read after it ended
bool hasWindowFilter = false;        // Windows 7 and later
bool hasProcessFilter = false;       // Vista

BOOL WINAPI AllowForWindow(HWND window, UINT message, DWORD action, void*) {
    filterCalls.push_back({window, message, action});
    return TRUE;
}
BOOL WINAPI AllowForProcess(UINT message, DWORD action) {
    filterCalls.push_back({nullptr, message, action});
    return TRUE;
}
FARPROC FakeUser32Function(const char* name) {
    if (hasWindowFilter && std::string(name) == "ChangeWindowMessageFilterEx") {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(AllowForWindow));
    }
    if (hasProcessFilter && std::string(name) == "ChangeWindowMessageFilter") {
        return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(AllowForProcess));
    }
    return nullptr;
}

const ChannelNames TestNames = {"VelmoraTest_Mutex", "VelmoraTest_Server", "VelmoraTest_Client",
                                "VelmoraTest_InterComm"};

// An elevated first instance lets later instances that are not elevated
// reach it with the two messages of the hand-over, and with nothing else;
// where the system has no such filter, the channel works as before.
TEST(InstanceChannel, AsksTheMessageFilterForTheHandOverMessagesOnly) {
    constexpr DWORD Allow = 1; // MSGFLT_ALLOW, MSGFLT_ADD
    const struct {
        const char* system;
        bool windowFilter;
        bool processFilter;
        bool forWindow; // the calls name the channel window, else the process
    } rows[] = {
        {"Windows 7", true, true, true},
        {"Vista", false, true, false},
        {"XP", false, false, false},
    };
    const ChannelSeam real = ChannelCalls;
    ChannelCalls.user32Function = FakeUser32Function;
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        filterCalls.clear();
        hasWindowFilter = rows[row].windowFilter;
        hasProcessFilter = rows[row].processFilter;
        HWND window = nullptr;
        {
            InstanceChannel channel(TestNames);
            ASSERT_TRUE(channel.Start(GetModuleHandleA(nullptr), nullptr)) << "row " << row;
            ASSERT_EQ(channel.Role(), Server) << "row " << row;
            constexpr DWORD Patience = 10000;
            const DWORD start = GetTickCount();
            while ((window = FindWindowA(TestNames.serverClass, TestNames.windowTitle)) ==
                       nullptr &&
                   GetTickCount() - start < Patience) {
                Sleep(10);
            }
            ASSERT_NE(window, nullptr) << "row " << row << ": no channel window";
            DWORD_PTR answer = 1;
            EXPECT_TRUE(
                SendMessageTimeoutA(window, LineOutcomeMessage, 0, 0, SMTO_NORMAL, 5000, &answer))
                << "row " << row;
            EXPECT_EQ(static_cast<LRESULT>(answer), OutcomeUnknown) << "row " << row;
        } // Close waits for the channel thread
        std::vector<FilterCall> expected;
        if (rows[row].windowFilter || rows[row].processFilter) {
            HWND named = rows[row].forWindow ? window : nullptr;
            expected = {{named, WM_COPYDATA, Allow}, {named, LineOutcomeMessage, Allow}};
        }
        EXPECT_EQ(filterCalls, expected) << "row " << row << ": " << rows[row].system;
    }
    ChannelCalls = real;
}

} // namespace
