// The hand-over's verdict, and what the first instance's window asks of
// USER32 that older Windows may lack.
#include "channel/MessageFilter.h"
#include "channel/ChannelWindow.h"
#include "channel/HandOver.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

// What became of the line, as the peer's reply says: a peer that answers the
// plain way acts before it replies, whatever it replies; our own tagged
// replies say more.
TEST(HandOver, TheVerdictTellsWhatBecameOfTheLine) {
    constexpr LRESULT Ticket = Tagged(7);
    const struct {
        const char* peer;
        LRESULT reply;
        LRESULT outcome;
        HandOver verdict;
    } rows[] = {
        {"plain, replies 0", 0, OutcomeUnknown, HandOver::Acted},
        {"plain, replies 1", 1, OutcomeUnknown, HandOver::Acted},
        {"turns the line away", TurnedAwayReply, OutcomeUnknown, HandOver::NotDone},
        {"ticket, then acted", Ticket, OutcomeActed, HandOver::Acted},
        {"ticket, then withdrawn", Ticket, OutcomeNotActed, HandOver::NotDone},
        {"ticket, then unfinished", Ticket, OutcomeUnfinished, HandOver::Unfinished},
        {"ticket it no longer knows", Ticket, OutcomeUnknown, HandOver::Unfinished},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_EQ(JudgeHandOver(rows[row].reply, rows[row].outcome), rows[row].verdict)
            << "row " << row << ": " << rows[row].peer;
    }
}

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

const ChannelNames TestNames = {"VelmoraTest_Mutex", "VelmoraTest_Server", "VelmoraTest_InterComm"};

LRESULT TurnAway(const char*, DWORD, DWORD) {
    return TurnedAwayReply;
}
LRESULT KnowNothing(LRESULT, DWORD) {
    return OutcomeUnknown;
}
const ChannelHandlers TestHandlers = {TurnAway, KnowNothing};

// An elevated first instance lets later starts that are not elevated reach
// it with the two messages of the hand-over, and with nothing else; where
// the system has no such filter, the window works as before.
TEST(ChannelWindow, AsksTheMessageFilterForTheHandOverMessagesOnly) {
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
        ASSERT_TRUE(StartChannel(GetModuleHandleA(nullptr), TestNames, TestHandlers))
            << "row " << row;
        HWND window = FindWindowA(TestNames.serverClass, TestNames.windowTitle);
        ASSERT_NE(window, nullptr) << "row " << row << ": no channel window once started";
        DWORD_PTR answer = 1;
        EXPECT_TRUE(
            SendMessageTimeoutA(window, LineOutcomeMessage, 0, 0, SMTO_NORMAL, 5000, &answer))
            << "row " << row;
        EXPECT_EQ(static_cast<LRESULT>(answer), OutcomeUnknown) << "row " << row;
        StopChannel(); // waits for the channel thread
        EXPECT_FALSE(IsWindow(window)) << "row " << row;
        std::vector<FilterCall> expected;
        if (rows[row].windowFilter || rows[row].processFilter) {
            HWND named = rows[row].forWindow ? window : nullptr;
            expected = {{named, WM_COPYDATA, Allow}, {named, LineOutcomeMessage, Allow}};
        }
        EXPECT_EQ(filterCalls, expected) << "row " << row << ": " << rows[row].system;
    }
    ChannelCalls = real;
}

// The channel thread ends when its window goes (here its own handler
// destroys it, as another program can by way of a parent), and is started
// anew as often as that happens: each start leaves no handle behind. Wine
// 8.0 counts no handles (GetProcessHandleCount says 0), but gives each new
// one the lowest free value, which a leak moves up.
LRESULT DestroyOwnWindow(const char*, DWORD, DWORD) {
    DestroyWindow(FindWindowA(TestNames.serverClass, TestNames.windowTitle));
    return TurnedAwayReply;
}

HANDLE NextHandle() {
    HANDLE probe = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(probe);
    return probe;
}

TEST(ChannelWindow, StartedAnewTimeAfterTimeItHoldsNoMoreHandles) {
    const ChannelHandlers handlers = {DestroyOwnWindow, KnowNothing};
    constexpr int Starts = 20;
    HANDLE settled = nullptr; // once a start has followed an end
    for (int start = 0; start < Starts; ++start) {
        ASSERT_TRUE(StartChannel(GetModuleHandleA(nullptr), TestNames, handlers)) << start;
        COPYDATASTRUCT empty = {0, 1, const_cast<char*>("")};
        DWORD_PTR reply = 0;
        SendMessageTimeoutA(FindWindowA(TestNames.serverClass, TestNames.windowTitle), WM_COPYDATA,
                            0, reinterpret_cast<LPARAM>(&empty), SMTO_NORMAL, 5000, &reply);
        ASSERT_EQ(WaitForSingleObject(ChannelThread(), 5000), WAIT_OBJECT_0) << start;
        settled = start == 1 ? NextHandle() : settled;
    }
    EXPECT_LE(NextHandle(), settled) << "after " << Starts << " starts";
}

} // namespace
