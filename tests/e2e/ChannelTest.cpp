// The first-instance decision and the hand-over of command lines, with real
// Velmora.exe processes.
#include "ProgramUnderTest.h"
#include "app/ControllerWindow.h"
#include "app/LineLedger.h"
#include "app/LineQueue.h"
#include "app/Startup.h"
#include "channel/HandOver.h"
#include "resources/resource.h"

#include <dde.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

// Top-level windows of a class and title.
int CountWindows(const char* windowClass, const char* title) {
    int count = 0;
    for (HWND found = nullptr;
         (found = FindWindowExA(nullptr, found, windowClass, title)) != nullptr;) {
        ++count;
    }
    return count;
}

// How long the system lets a thread stay away from its messages before it
// calls it hung (IsHungAppWindow).
constexpr DWORD SystemHangMilliseconds = 5000;

// A window of this program's for the first instance's windows to be made the
// children of.
HWND NewAdopter() {
    return CreateWindowExA(0, "STATIC", "adopter", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// The first instance (its map set to joy4way) ended as its own exit does:
// code 0, mark released, the map saved, the libraries closed since mark.
void ExpectCleanEnd(ProgramUnderTest& program, std::size_t mark, const std::string& how) {
    EXPECT_EQ(WaitExit(program.server, 20000), static_cast<DWORD>(ExitNormal)) << how;
    EXPECT_FALSE(FirstInstanceMarked()) << how;
    EXPECT_NE(program.Settings().find("U360MapFile=joy4way"), std::string::npos)
        << how << ": not saved: " << program.Settings();
    EXPECT_TRUE(HasLine(program.JournalSince(mark), "PacDrive 3"))
        << how << ": the libraries were not closed";
}

TEST(Channel, TheFirstStartIsTheServerAndTheNextAfterItsEndToo) {
    ASSERT_FALSE(FirstInstanceMarked()) << "an instance is already running";
    ProgramUnderTest program;
    for (int round = 0; round < 2; ++round) {
        program.StartServer();
        HWND channel = program.ChannelWindow();
        ASSERT_NE(channel, nullptr);
        EXPECT_FALSE(IsWindowVisible(channel));
        DWORD pid = 0;
        GetWindowThreadProcessId(channel, &pid);
        EXPECT_EQ(pid, GetProcessId(program.server));
        EXPECT_TRUE(FirstInstanceMarked());
        HWND controller = program.ControllerWindow();
        ASSERT_NE(controller, nullptr);
        EXPECT_FALSE(IsWindowVisible(controller)) << "the Settings window starts hidden";

        if (round == 0) {
            EXPECT_EQ(program.ExitServer(), 0u) << "round " << round;
        } else {
            // Any program may post a quit, with a code of its own: a clean end,
            // and the code of one.
            PostThreadMessageA(GetWindowThreadProcessId(controller, nullptr), WM_QUIT, ExitNotDone,
                               0);
            EXPECT_EQ(WaitExit(program.server, 20000), static_cast<DWORD>(ExitNormal));
        }
        EXPECT_FALSE(FirstInstanceMarked());
        EXPECT_EQ(FindWindowA("Velmora_Server", nullptr), nullptr);
    }
}

TEST(Channel, LaterStartsHandTheirCommandLineOverAndEnd) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-u360 joy4way"), 1u);
    // The client ended only after the server acted.
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy4way"});

    mark = program.Journal().size();
    EXPECT_EQ(program.Run("-servo joy8way"), 1u) << "a third start behaves like the second";
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"PacDrive 30"});

    mark = program.Journal().size();
    EXPECT_EQ(program.Run(""), 1u);
    EXPECT_TRUE(program.JournalSince(mark).empty());
    EXPECT_EQ(WaitExit(program.server, 0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(program.ExitServer(), 0u);
}

TEST(Channel, AClientStartedRightAfterTheServerIsStillDelivered) {
    ProgramUnderTest program(1, "4");
    program.server = program.Start("");
    // Once the mutex marks the first instance, it is still far from its main loop.
    ASSERT_TRUE(WaitUntil([](void*) { return FirstInstanceMarked(); }, nullptr, 10000));
    HANDLE client = program.Start("-u360 analog");
    EXPECT_EQ(WaitExit(client, 20000), 1u);
    EXPECT_TRUE(HasLine(program.Journal(), "UltraStik 13 0 analog"));
    EXPECT_EQ(program.ExitServer(), 0u);
    // Startup applied the stored "mouse" first; the forwarded line came after.
    EXPECT_NE(program.Settings().find("U360MapFile=analog"), std::string::npos)
        << program.Settings();
}

TEST(Channel, StartsAtOnceMakeExactlyOneServer) {
    ProgramUnderTest program(1, "4");
    // An emulated start takes seconds of processor time: ten at once on two
    // cores keep the first from its window past the others' 5-s search.
    const int starts = program.Is32Bit() ? 5 : 10;
    std::vector<HANDLE> started;
    for (int i = 0; i < starts; ++i) {
        started.push_back(program.Start(""));
    }
    int clients = 0;
    std::vector<HANDLE> running;
    for (HANDLE process : started) {
        const DWORD code = WaitExit(process, 15000);
        if (code == 1) {
            ++clients;
        } else if (code == STILL_ACTIVE) {
            running.push_back(process);
        } else {
            ADD_FAILURE() << "an instance ended with " << code;
        }
    }
    EXPECT_EQ(clients, starts - 1);
    ASSERT_EQ(running.size(), 1u);
    program.server = running[0];
    EXPECT_EQ(program.ExitServer(), 0u);
}

// A stand-in first instance in this process, to see the wire format.
struct Received {
    WPARAM wParam;
    ULONG_PTR dwData;
    DWORD cbData;
    std::string bytes;
};
std::vector<Received> received;
LRESULT fakeReply = 1;
LRESULT fakeOutcome = OutcomeUnknown; // its answer when asked how a ticket fared
HANDLE hangUntilEnded = nullptr;      // when set, the stand-in stops answering until it ends,
DWORD hangAfter = 0;                  // from this long after the line came
DWORD reachedAt = 0;                  // when the line came
DWORD endedAfter = 0;                 // how long after the line the process it waited for ended

void HangIfAsked() {
    if (hangUntilEnded != nullptr && GetTickCount() - reachedAt >= hangAfter) {
        WaitForSingleObject(hangUntilEnded, 60000); // serves nothing meanwhile
        endedAfter = GetTickCount() - reachedAt;
    }
}

LRESULT CALLBACK FakeServerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        received.push_back({wParam, data->dwData, data->cbData,
                            std::string(static_cast<const char*>(data->lpData), data->cbData)});
        reachedAt = GetTickCount();
        HangIfAsked();
        return fakeReply;
    }
    if (message == LineOutcomeMessage) {
        HangIfAsked();
        return fakeOutcome;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class FakeServer : public ::testing::Test {
  protected:
    void SetUp() override {
        received.clear();
        fakeReply = 1;
        fakeOutcome = OutcomeUnknown;
        hangUntilEnded = nullptr;
        hangAfter = 0;
        // Owned, as a living first instance holds it.
        mutex = CreateMutexA(nullptr, TRUE, "Velmora_Mutex");
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = FakeServerProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "Velmora_Server";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "Velmora_Server", "Velmora_InterComm", WS_OVERLAPPEDWINDOW, 0,
                                 0, 1, 1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    }
    void TearDown() override {
        if (window) {
            DestroyWindow(window);
        }
        UnregisterClassA("Velmora_Server", GetModuleHandleA(nullptr));
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
    // Runs a client while this thread serves the stand-in window.
    DWORD RunClient(const std::string& arguments) {
        return WaitExitServing(program.Start(arguments), 20000);
    }
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    ProgramUnderTest program;
};

TEST_F(FakeServer, TheWireFormat) {
    EXPECT_EQ(RunClient("-u360 joy4way"), 1u);
    EXPECT_EQ(RunClient(""), 1u);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].wParam, 0u);
    // The key, which a plain first instance ignores: each start's own.
    EXPECT_NE(received[0].dwData, NoKey);
    EXPECT_NE(received[1].dwData, received[0].dwData);
    EXPECT_EQ(received[0].cbData, 14u);
    EXPECT_EQ(received[0].bytes, std::string("-u360 joy4way", 14));
    EXPECT_EQ(received[1].cbData, 1u);
    EXPECT_EQ(received[1].bytes, std::string("", 1));
    EXPECT_TRUE(program.Journal().empty()) << "a client touches no device";
    EXPECT_EQ(GetFileAttributesA((program.Directory() + "Velmora.ini").c_str()),
              INVALID_FILE_ATTRIBUTES)
        << "a client writes no settings";
}

TEST_F(FakeServer, TheFirstInstancesWindowMayComeAfterTheClient) {
    DestroyWindow(window);
    window = nullptr;
    DWORD start = GetTickCount();
    EXPECT_EQ(RunClient("-u360 joy4way"), static_cast<DWORD>(ExitNotDone)) // its search runs out
        << "marked running, but no window to reach";
    EXPECT_GE(GetTickCount() - start, PeerSearchMilliseconds - 1000)
        << "the client looks for a while before it gives up";

    HANDLE client = program.Start("-servo");
    constexpr DWORD WhileItSearches = 1000;
    // Runs out on purpose: a second in, the client is still looking for the window.
    EXPECT_EQ(WaitExit(client, WhileItSearches), static_cast<DWORD>(STILL_ACTIVE));
    window = CreateWindowExA(0, "Velmora_Server", "Velmora_InterComm", WS_OVERLAPPEDWINDOW, 0, 0, 1,
                             1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    EXPECT_EQ(WaitExitServing(client, 20000), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, std::string("-servo", 7));
}

// A first instance of the plain protocol (an earlier version) creates the
// mark without holding it and never waits on it: a later start that finds
// it free, with the window there, hands over and does not take its place.
TEST_F(FakeServer, APeerThatCreatesTheMarkWithoutHoldingItIsReached) {
    ASSERT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(RunClient("-u360 joy4way"), static_cast<DWORD>(ExitHandedOver))
        << "the later start took the free mark and stayed";
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, std::string("-u360 joy4way", 14));
    EXPECT_EQ(RunClient(""), static_cast<DWORD>(ExitHandedOver)) << "the mark was left held";
}

TEST_F(FakeServer, AFirstInstanceThatStopsAnsweringIsGivenUp) {
    HANDLE client = program.Start("-u360 joy4way");
    hangUntilEnded = client;
    const DWORD start = GetTickCount();
    // The later start's patience with a silent instance runs out, on purpose.
    EXPECT_EQ(WaitExitServing(client, 40000), static_cast<DWORD>(ExitUnfinished))
        << "it went silent with the line in its hands";
    EXPECT_LT(GetTickCount() - start, 20000u) << "the client waited for a silent instance";
    EXPECT_EQ(received.size(), 1u);
}

// However the first instance answers, a later start ends within the limit
// of reaching it, its last question included: here each is answered
// "waiting" at once, until the last ones go unanswered.
TEST_F(FakeServer, ALaterStartEndsWithinTheLimitOfReachingTheInstance) {
    fakeReply = Tagged(1);
    fakeOutcome = OutcomeWaiting;
    constexpr DWORD Unanswered = 200;
    hangAfter = HandOverLimitMilliseconds - Unanswered;
    HANDLE client = program.Start("-u360 joy4way");
    hangUntilEnded = client;
    EXPECT_EQ(WaitExitServing(client, 2 * HandOverLimitMilliseconds),
              static_cast<DWORD>(ExitUnfinished));
    EXPECT_LT(endedAfter, HandOverLimitMilliseconds + Unanswered);
}

// A later start whose first instance's window went asks the one made anew,
// and only one of the same process: a window of another (here a running
// Velmora, whose book holds an acted line of that ticket) knows nothing of it.
TEST_F(FakeServer, AWindowMadeAnewCountsOnlyFromTheSameProcess) {
    DestroyWindow(window);
    ReleaseMutex(mutex);
    CloseHandle(mutex); // a start then finds no mark until the first takes it
    mutex = nullptr;
    program.StartServer();
    window = CreateWindowExA(0, "Velmora_Server", "Velmora_InterComm", WS_OVERLAPPEDWINDOW, 0, 0, 1,
                             1, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_EQ(FindWindowA("Velmora_Server", "Velmora_InterComm"), window);
    fakeReply = Tagged(1);
    fakeOutcome = OutcomeWaiting;
    HANDLE client = program.Start("-u360 joy4way");
    ASSERT_TRUE(WaitUntil([](void*) { return !received.empty(); }, nullptr, 20000));
    DestroyWindow(window);
    window = nullptr;
    EXPECT_EQ(WaitExit(client, 20000), static_cast<DWORD>(ExitUnfinished));
    EXPECT_EQ(program.ExitServer(), 0u);
}

TEST_F(FakeServer, AnUnquotedProgramPathWithBytesAbove0x7FIsSkippedWhole) {
    // "Müller" in the code page the program sees; its bytes above 0x7F once
    // ended the program name too early.
    char folder[16] = {};
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, L"M\u00FCller", -1, folder, sizeof folder, nullptr, &lossy);
    ASSERT_FALSE(lossy) << "the code page has no u-umlaut";
    ProgramUnderTest moved(1, "4", folder);
    ASSERT_EQ(moved.Directory().find(' '), std::string::npos) << moved.Directory();
    HANDLE client = moved.StartCommandLine(moved.Directory() + "Velmora.exe -u360 joy4way");
    EXPECT_EQ(WaitExitServing(client, 20000), 1u);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].bytes, std::string("-u360 joy4way", 14));
}

// A usage box keeps the main thread of the first instance waiting for the
// user, and for its own sender alone: the channel answers, other launchers
// go on, and a second "-help" shows nothing more. A first call's box is no
// different: it comes from the instance the call started.
TEST(Channel, WhileAUsageBoxIsOpenTheChannelAnswersAndOtherLinesGoOn) {
    ProgramUnderTest program(1, "4");
    HANDLE help = program.Start("-help");
    HWND box = WaitForDialog("Help");
    ASSERT_NE(box, nullptr);
    program.AdoptServer();
    HWND serverChannel = program.ChannelWindow();
    ASSERT_NE(serverChannel, nullptr);
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-servo joy8way"), 1u) << "held behind another launcher's usage box";
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"PacDrive 30"});
    EXPECT_EQ(program.Run("-help"), 1u);
    EXPECT_EQ(CountWindows("#32770", "Help"), 1);
    EXPECT_TRUE(AnswersWithinASecond(serverChannel)) << "while acting on a line";
    EXPECT_EQ(WaitExit(help, 0), static_cast<DWORD>(STILL_ACTIVE)) << "left its own box behind";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitExit(help, 20000), 1u);
    EXPECT_EQ(program.ExitServer(), 0u);
}

// While startup waits (here for a settings file another program holds),
// lines queue: none is acted on before the devices are counted and the
// stored modes applied; then each sender ends as soon as its own line is
// done, whatever usage box a later line opens.
TEST(Channel, QueuedLinesWaitForStartupThenEachSenderEndsWithItsOwnLine) {
    ProgramUnderTest program(1, "4");
    HANDLE held = CreateFileA((program.Directory() + "Velmora.ini").c_str(),
                              GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    program.server = program.Start("");
    HWND channel = WaitForWindow("Velmora_Server", "Velmora_InterComm");
    ASSERT_NE(channel, nullptr);
    // Started together: startup waits for the file a few seconds only.
    HANDLE first = program.Start("-servo joy8way");
    HANDLE second = program.Start("-help");
    ASSERT_TRUE(WaitForQueuedLine(channel, 1));
    ASSERT_TRUE(WaitForQueuedLine(channel, 2));
    CloseHandle(held);

    HWND box = WaitForDialog("Help");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(WaitExit(first, 10000), static_cast<DWORD>(ExitHandedOver))
        << "held behind a later line's usage box";
    EXPECT_EQ(WaitExit(second, 0), static_cast<DWORD>(STILL_ACTIVE));
    const std::vector<std::string> journal = program.Journal();
    const auto detected = std::find(journal.begin(), journal.end(), "PacDrive 2 -> 1");
    const auto stored = std::find(journal.begin(), journal.end(), "PacDrive 29");
    const auto forwarded = std::find(journal.begin(), journal.end(), "PacDrive 30");
    ASSERT_NE(forwarded, journal.end());
    EXPECT_GT(forwarded, detected) << "the line reached the ServoStik before it was counted";
    EXPECT_GT(forwarded, stored) << "the line was acted on before the stored modes";

    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitExit(second, 10000), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Posts to a thread without pause until told to stop, as a flood from
// another program would.
struct Flood {
    DWORD thread;
    HANDLE stop;
};
DWORD WINAPI PostUntilStopped(LPVOID parameter) {
    const auto* flood = static_cast<const Flood*>(parameter);
    while (WaitForSingleObject(flood->stop, 0) == WAIT_TIMEOUT) {
        PostThreadMessageA(flood->thread, WM_USER, 0, 0);
    }
    return 0;
}

// A device call that never returns holds the main thread: lines waiting
// behind it are withdrawn and never acted on, the one it holds is reported
// unfinished, and no later start waits for ever, even while another program
// floods the channel thread with posted messages.
TEST(Channel, AMainThreadHeldInADeviceCallIsGivenUpOnWithinBounds) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    Flood flood = {GetWindowThreadProcessId(program.ChannelWindow(), nullptr),
                   CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE flooding = CreateThread(nullptr, 0, PostUntilStopped, &flood, 0, nullptr);
    ASSERT_NE(flooding, nullptr);
    const std::string holdName = "VelmoraTestHold" + std::to_string(GetCurrentProcessId());
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, holdName.c_str());
    ASSERT_NE(hold, nullptr);
    ASSERT_TRUE(WritePrivateProfileStringA("Hold", "Event", holdName.c_str(),
                                           (program.Directory() + "DeviceSim.ini").c_str()));
    const std::size_t mark = program.Journal().size();
    HANDLE held = program.Start("-servo joy8way");
    ASSERT_TRUE(WaitForJournal(program, mark, "PacDrive 30")) << "the call was never made";
    HANDLE queued = program.Start("-u360 joy4way");
    const DWORD start = GetTickCount();
    // The later starts' wait for a hung main thread runs out, on purpose.
    EXPECT_EQ(WaitExit(held, 20000), static_cast<DWORD>(ExitUnfinished));
    EXPECT_EQ(WaitExit(queued, 20000), static_cast<DWORD>(ExitNotDone));
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, SystemHangMilliseconds - 1000);
    EXPECT_LT(took, 3 * SystemHangMilliseconds);
    EXPECT_EQ(program.Run("-u360 analog"), static_cast<DWORD>(ExitNotDone))
        << "a line accepted while the main thread is hung";
    SetEvent(flood.stop);
    WaitForSingleObject(flooding, INFINITE);
    CloseHandle(flooding);
    CloseHandle(flood.stop);

    SetEvent(hold);
    HWND controller = program.ControllerWindow();
    ASSERT_TRUE(WaitUntil([](void* p) { return AnswersWithinASecond(static_cast<HWND>(p)); },
                          controller, 10000))
        << "the main thread did not come back";
    EXPECT_EQ(program.Run(""), static_cast<DWORD>(ExitHandedOver)) << "still turning lines away";
    const std::vector<std::string> after = program.JournalSince(mark);
    EXPECT_FALSE(HasLine(after, "UltraStik 13 0 joy4way")) << "a withdrawn line was acted on";
    EXPECT_FALSE(HasLine(after, "UltraStik 13 0 analog")) << "a turned-away line was acted on";
    CloseHandle(hold);
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Anyone may ask how a line fared, but only its sender collects the outcome:
// another program that asks first, then sends a line that would take any
// record set free, leaves the sender its answer.
TEST(Channel, AQuestionFromAnotherProgramLeavesTheSenderItsOutcome) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND channel = program.ChannelWindow();
    ASSERT_NE(channel, nullptr);
    const std::string holdName = "VelmoraTestHold" + std::to_string(GetCurrentProcessId());
    HANDLE hold = CreateEventA(nullptr, TRUE, FALSE, holdName.c_str());
    ASSERT_TRUE(WritePrivateProfileStringA("Hold", "Event", holdName.c_str(),
                                           (program.Directory() + "DeviceSim.ini").c_str()));
    const std::size_t mark = program.Journal().size();
    HANDLE sender = program.Start("-servo joy8way");
    ASSERT_TRUE(WaitForJournal(program, mark, "PacDrive 30"));
    const auto ask = [channel](LRESULT ticket) {
        DWORD_PTR answer = OutcomeUnknown;
        SendMessageTimeoutA(channel, LineOutcomeMessage, static_cast<WPARAM>(ticket), 0,
                            SMTO_NORMAL, 1000, &answer);
        return static_cast<LRESULT>(answer);
    };
    LRESULT ticket = Tagged(1); // found as a program that tries each would
    while (ticket < Tagged(MaxWaitingLines) && ask(ticket) != OutcomeWaiting) {
        ++ticket;
    }
    SetEvent(hold);
    const DWORD start = GetTickCount();
    while (ask(ticket) == OutcomeWaiting && GetTickCount() - start < 10000) {
    }
    EXPECT_EQ(ask(ticket), OutcomeActed) << "anyone may read an outcome";
    COPYDATASTRUCT empty = {0, 1, const_cast<char*>("")};
    DWORD_PTR reply = 0;
    SendMessageTimeoutA(channel, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&empty), SMTO_NORMAL,
                        1000, &reply);
    EXPECT_EQ(WaitExit(sender, 20000), static_cast<DWORD>(ExitHandedOver));
    CloseHandle(hold);
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Hostile senders against the real first instance.
class Hostile : public ::testing::Test {
  protected:
    void SetUp() override {
        program.StartServer();
        channel = program.ChannelWindow();
        ASSERT_NE(channel, nullptr);
    }
    void TearDown() override { EXPECT_EQ(program.ExitServer(), 0u); }
    // Sends a line as a later instance would: the reply, and for a ticket the
    // outcome once there is one.
    LRESULT Send(WPARAM wParam, const void* data, DWORD size) {
        COPYDATASTRUCT copy = {0, size, const_cast<void*>(data)};
        DWORD_PTR reply = 0xDEAD;
        EXPECT_TRUE(SendMessageTimeoutA(channel, WM_COPYDATA, wParam,
                                        reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 10000,
                                        &reply));
        if (static_cast<LRESULT>(reply) == TurnedAwayReply) {
            return TurnedAwayReply;
        }
        EXPECT_TRUE(IsTagged(static_cast<LRESULT>(reply))) << "no ticket: " << reply;
        DWORD_PTR outcome = OutcomeWaiting;
        const DWORD start = GetTickCount();
        while (static_cast<LRESULT>(outcome) == OutcomeWaiting && GetTickCount() - start < 10000) {
            Sleep(1); // the outcome is asked for, never announced
            SendMessageTimeoutA(channel, LineOutcomeMessage, reply, 0, SMTO_NORMAL, 1000, &outcome);
        }
        return static_cast<LRESULT>(outcome);
    }
    ProgramUnderTest program{1, "4"};
    HWND channel = nullptr;
};

// Private messages, with parameters that reach the handlers (the tray's own
// icon id with harmless mouse events, tickets in our tag), act on nothing;
// the commands and hot keys that act mean the same from anyone, and act only
// for ids of ours.
TEST_F(Hostile, StrayPrivateMessagesToEitherWindowActOnNothing) {
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    std::size_t mark = program.Journal().size();
    const std::pair<WPARAM, LPARAM> junk[] = {
        {0, 0},
        {1, 1},
        {~WPARAM(0), static_cast<LPARAM>(0xDEADBEEF)},
        {IDR_TRAYMENU, WM_MOUSEMOVE},
        {IDR_TRAYMENU, WM_LBUTTONDOWN},
        {IDR_TRAYMENU, WM_RBUTTONDOWN},
        {static_cast<WPARAM>(Tagged(1)), 0},
        {static_cast<WPARAM>(TurnedAwayReply), static_cast<LPARAM>(Tagged(1))},
    };
    constexpr UINT PrivateRange = 32;
    for (HWND target : {controller, channel}) {
        for (UINT first : {UINT(WM_USER), UINT(WM_APP)}) {
            for (UINT message = first; message < first + PrivateRange; ++message) {
                for (const auto& [wParam, lParam] : junk) {
                    PostMessageA(target, message, wParam, lParam);
                    DWORD_PTR ignored = 0;
                    SendMessageTimeoutA(target, message, wParam, lParam, SMTO_NORMAL, 1000,
                                        &ignored);
                }
            }
        }
    }
    // The line's notice comes after every posted message above.
    EXPECT_EQ(program.Run(""), 1u) << "the instance still answers";
    EXPECT_EQ(WaitExit(program.server, 0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(program.JournalSince(mark).empty());

    const struct {
        HWND target;
        UINT message;
        WPARAM wParam;
        std::vector<std::string> journal;
    } commands[] = {
        {controller, WM_COMMAND, 0xFFFF, {}},
        {controller, WM_COMMAND, MAKEWPARAM(IDM_SERVO_8WAY, 0), {"PacDrive 30"}},
        {controller, WM_HOTKEY, HotKeyServo8Way + 7, {}},
        {controller, WM_HOTKEY, HotKeyServo4Way, {"PacDrive 29"}},
        {controller, WM_SYSCOMMAND, 0xFFF0, {}},
        {channel, WM_COMMAND, MAKEWPARAM(IDM_SERVO_8WAY, 0), {}},
        {channel, WM_HOTKEY, HotKeyServo8Way, {}},
        {channel, WM_SYSCOMMAND, SC_CLOSE, {}},
    };
    for (std::size_t row = 0; row < std::size(commands); ++row) {
        mark = program.Journal().size();
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(SendMessageTimeoutA(commands[row].target, commands[row].message,
                                        commands[row].wParam, 0, SMTO_NORMAL, 5000, &ignored))
            << "row " << row << ": no answer";
        EXPECT_EQ(program.JournalSince(mark), commands[row].journal) << "row " << row;
    }
    EXPECT_EQ(program.Run(""), 1u) << "the instance still answers";
}

TEST_F(Hostile, NoTerminatorWithinCbDataReadsNoFurther) {
    const char bytes[] = "-u360 joy2way -exit";
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(Send(0, bytes, 13), OutcomeActed); // "-u360 joy2way", and not a byte more
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy2way"});
    // Runs out on purpose: time for an end that the line wrongly carried to show.
    EXPECT_EQ(WaitExit(program.server, 500), static_cast<DWORD>(STILL_ACTIVE))
        << "the bytes past cbData were read";
}

TEST_F(Hostile, EmptyZeroLengthAndNoDataAreTheEmptyText) {
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(Send(0, "-exit", 0), OutcomeActed);
    EXPECT_EQ(Send(0, nullptr, 0), OutcomeActed);
    EXPECT_EQ(Send(0, "", 1), OutcomeActed);
    EXPECT_TRUE(program.JournalSince(mark).empty());
    // Runs out on purpose: time for an end that the line wrongly carried to show.
    EXPECT_EQ(WaitExit(program.server, 500), static_cast<DWORD>(STILL_ACTIVE));
}

TEST_F(Hostile, OtherValuesAndOverlongTextsAreNotActedOn) {
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(Send(1, "-exit", 6), TurnedAwayReply);
    std::string huge = "-u360 " + std::string(40000 - 6, 'x');
    EXPECT_EQ(Send(0, huge.c_str(), static_cast<DWORD>(huge.size() + 1)), TurnedAwayReply);
    EXPECT_TRUE(program.JournalSince(mark).empty());

    std::string longest = "-u360 " + std::string(32767 - 6, 'y');
    EXPECT_EQ(Send(0, longest.c_str(), static_cast<DWORD>(longest.size() + 1)), OutcomeActed);
    EXPECT_EQ(program.JournalSince(mark),
              std::vector<std::string>{"UltraStik 13 0 " + std::string(255, 'y')});
    EXPECT_EQ(program.Run(""), 1u) << "the instance still answers";
}

// What the system sends to make, rename, close or end a window, sent and
// posted by another program: no window of the first instance changes, and
// only a WM_CLOSE to its main window ends it, cleanly.
TEST(HostileWindows, MessagesFromOutsideChangeNoWindowOfTheFirstInstance) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND channel = program.ChannelWindow();
    HWND controller = program.ControllerWindow();
    HWND tray = program.ServerWindow("TrayIconClass");
    ASSERT_NE(channel, nullptr);
    ASSERT_NE(controller, nullptr);
    ASSERT_NE(tray, nullptr);

    CREATESTRUCTA record = {};
    record.lpCreateParams = &record; // a pointer of the sender's, meaningless over there
    record.lpszName = "Renamed";
    record.lpszClass = "Velmora_Server";
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } sent[] = {
        {WM_CREATE, 0, reinterpret_cast<LPARAM>(&record)},
        {WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&record)},
        {WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed")},
        {WM_DESTROY, 0, 0},
        {WM_NCDESTROY, 0, 0},
    };
    for (HWND target : {channel, tray, controller}) {
        for (std::size_t row = 0; row < std::size(sent); ++row) {
            DWORD_PTR ignored = 0;
            EXPECT_TRUE(SendMessageTimeoutA(target, sent[row].message, sent[row].wParam,
                                            sent[row].lParam, SMTO_NORMAL, 5000, &ignored))
                << "row " << row << ": no answer";
        }
    }
    for (HWND target : {channel, tray}) {
        DWORD_PTR ignored = 0;
        EXPECT_TRUE(
            SendMessageTimeoutA(target, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &ignored));
        EXPECT_TRUE(SendMessageTimeoutA(target, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored));
        PostMessageA(target, WM_CLOSE, 0, 0);
    }
    // (A WM_QUIT to the main thread's windows ends the program cleanly, as a
    // WM_CLOSE to the main window does.)
    PostMessageA(channel, WM_QUIT, 0, 0);
    PostMessageA(controller, WM_DESTROY, 0, 0);
    PostMessageA(controller, WM_NCDESTROY, 0, 0);
    PostThreadMessageA(GetWindowThreadProcessId(channel, nullptr), WM_QUIT, 0, 0);

    // Wine's DispatchMessage calls a timer message's lParam: one that names
    // ExitProcess would end the program on the spot, nothing saved.
    const auto exitProcess = reinterpret_cast<LPARAM>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "ExitProcess")));
    constexpr UINT_PTR AnyTimer = 1;
    for (HWND target : {controller, tray, channel}) {
        PostMessageA(target, WM_TIMER, AnyTimer, exitProcess);
        PostThreadMessageA(GetWindowThreadProcessId(target, nullptr), WM_TIMER, AnyTimer,
                           exitProcess);
    }

    // A forwarded line goes through every queue the messages above went to.
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-u360 joy4way"), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy4way"});
    EXPECT_EQ(FindWindowA("Velmora_Server", "Velmora_InterComm"), channel);
    EXPECT_TRUE(IsWindow(tray));
    char caption[32] = {};
    GetWindowTextA(controller, caption, sizeof caption);
    EXPECT_STREQ(caption, "Settings");

    // A hidden window opens no window menu for anyone (the line's notice
    // comes after the requests).
    constexpr UINT PopupSystemMenu = 0x0313; // the taskbar's "show the window menu"
    PostMessageA(controller, PopupSystemMenu, 0, 0);
    PostMessageA(controller, WM_SYSCOMMAND, SC_KEYMENU, 0);
    EXPECT_EQ(program.Run(""), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(FindWindowA("#32768", nullptr), nullptr) << "a menu opened";
    PostMessageA(controller, WM_CLOSE, 0, 0);
    ExpectCleanEnd(program, mark, "WM_CLOSE from outside");
}

// Another program can show the hidden hand-over window, as tools that reveal
// hidden windows do, or give it the visible style and ask it to paint:
// neither may keep its thread busy, and hand-overs go on.
TEST(HostileWindows, AHandOverWindowShownOrAskedToPaintCostsNothingAtRest) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND channel = program.ChannelWindow();
    ASSERT_NE(channel, nullptr);
    constexpr DWORD Quiet = 2000;
    constexpr DWORD HideMilliseconds = 5000;
    const char* const ways[] = {"shown", "given the visible style, then invalidated"};
    for (const char* way : ways) {
        if (way == ways[0]) {
            SetWindowPos(channel, nullptr, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
        } else {
            SetWindowLongPtrA(channel, GWL_STYLE,
                              GetWindowLongPtrA(channel, GWL_STYLE) | WS_VISIBLE);
            RedrawWindow(channel, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
        }
        // Hidden again, and answering. On a bare X server Wine's hide waits
        // up to 2 s for a window manager, answering nothing meanwhile: a
        // second or two, not a thread kept busy.
        EXPECT_TRUE(WaitUntil(
            [](void* w) {
                const auto window = static_cast<HWND>(w);
                return !IsWindowVisible(window) && AnswersWithinASecond(window);
            },
            channel, HideMilliseconds))
            << way;
        const ULONGLONG before = ProcessorMilliseconds(program.server);
        Sleep(Quiet);
        const ULONGLONG spent = ProcessorMilliseconds(program.server) - before;
        EXPECT_LT(spent, Quiet / 10) << way << ": milliseconds of processor time in " << Quiet;
        EXPECT_EQ(program.Run("-u360 joy4way"), static_cast<DWORD>(ExitHandedOver)) << way;
    }
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Messages whose parameters Wine copies between processes, with absurd
// sizes: unpacking one fails inside our process. A failed GetMessage must
// not end the program, and a channel thread that Wine ends must be made anew.
TEST(HostileWindows, MessagesWineCannotCopyLeaveTheProgramServing) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    HWND channel = program.ChannelWindow();
    ASSERT_NE(controller, nullptr);
    ASSERT_NE(channel, nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(controller, WM_ASKCBFORMATNAME, ~WPARAM(0), ~LPARAM(0), SMTO_NORMAL, 1000,
                        &ignored);
    PostMessageA(controller, WM_ASKCBFORMATNAME, ~WPARAM(0), ~LPARAM(0));
    EXPECT_EQ(program.Run(""), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(WaitExit(program.server, 0), static_cast<DWORD>(STILL_ACTIVE));

    constexpr WPARAM HugeCount = 0x7FFFFFFF;
    constexpr LPARAM SomeAddress = 0x10000;
    SendMessageTimeoutA(channel, LB_GETSELITEMS, HugeCount, SomeAddress, SMTO_NORMAL, 1000,
                        &ignored);
    constexpr DWORD Patience = 60000; // Wine writes gigabytes before it gives up
    EXPECT_TRUE(WaitUntil(
        [](void*) {
            return AnswersWithinASecond(FindWindowA("Velmora_Server", "Velmora_InterComm"));
        },
        nullptr, Patience))
        << "the hand-over window never answered again";
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-servo joy8way"), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"PacDrive 30"});
    EXPECT_EQ(program.ExitServer(), 0u);
}

// Exit as scripting tools fire another program's menu item, sent or posted,
// and a Settings window that another program destroyed (by destroying a
// window it made its parent): the same clean end as from the tray menu.
TEST(HostileWindows, AnExitCommandOrALostMainWindowEndsTheProgramCleanly) {
    const char* const ways[] = {"Exit sent", "Exit posted", "destroyed with a parent",
                                "-exit in a move loop another program started"};
    for (const char* way : ways) {
        ProgramUnderTest program(1, "4");
        program.StartServer();
        EXPECT_EQ(program.Run("-u360 joy4way"), static_cast<DWORD>(ExitHandedOver));
        HWND controller = program.ControllerWindow();
        ASSERT_NE(controller, nullptr);
        const std::size_t mark = program.Journal().size();
        if (way == ways[0]) {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(controller, WM_COMMAND, IDM_EXIT, 0, SMTO_NORMAL, 5000, &ignored);
        } else if (way == ways[1]) {
            PostMessageA(controller, WM_COMMAND, IDM_EXIT, 0);
        } else if (way == ways[2]) {
            HWND adopter = NewAdopter();
            SetParent(controller, adopter);
            DestroyWindow(adopter);
        } else {
            // The loop takes the quit and ends without passing it on.
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(controller, WM_COMMAND, IDM_SETTINGS, 0, SMTO_NORMAL, 5000,
                                &ignored);
            SendNotifyMessageA(controller, WM_SYSCOMMAND, SC_MOVE, 0);
            EXPECT_EQ(program.Run("-exit"), static_cast<DWORD>(ExitHandedOver)) << way;
        }
        ExpectCleanEnd(program, mark, way);
    }
}

// A modal loop dispatches what is posted to the Settings window; destruction
// that the program did not cause still does nothing.
TEST(HostileWindows, DestructionPostedWhileAUsageBoxIsOpenDoesNothing) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    HANDLE help = program.Start("-help");
    HWND box = WaitForDialog("Help");
    ASSERT_NE(box, nullptr);
    PostMessageA(controller, WM_DESTROY, 0, 0);
    PostMessageA(controller, WM_NCDESTROY, 0, 0);
    // Acted on inside the box's loop, after the two messages above.
    const std::size_t mark = program.Journal().size();
    EXPECT_EQ(program.Run("-u360 joy4way"), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy4way"});
    EXPECT_EQ(WaitExit(program.server, 0), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_TRUE(IsWindowVisible(box)) << "the box's loop was told to quit";
    char caption[32] = {};
    GetWindowTextA(controller, caption, sizeof caption);
    EXPECT_STREQ(caption, "Settings") << "the dialog's data was freed";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(WaitExit(help, 20000), static_cast<DWORD>(ExitHandedOver));
    EXPECT_EQ(program.ExitServer(), 0u);
}

// The channel window's data and parent are anyone's to change; neither
// decides anything, and later starts still reach the first instance.
TEST(HostileWindows, RewrittenUserDataOrParentOfTheChannelWindowChangesNothing) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND channel = program.ChannelWindow();
    ASSERT_NE(channel, nullptr);
    const char* const maps[] = {"joy4way", "joy2way"};
    const LONG_PTR userData[] = {0, 0x1234};
    for (std::size_t row = 0; row < std::size(userData); ++row) {
        SetWindowLongPtrA(channel, GWLP_USERDATA, userData[row]);
        const std::size_t mark = program.Journal().size();
        EXPECT_EQ(program.Run(std::string("-u360 ") + maps[row]),
                  static_cast<DWORD>(ExitHandedOver))
            << "row " << row;
        EXPECT_EQ(program.JournalSince(mark),
                  std::vector<std::string>{std::string("UltraStik 13 0 ") + maps[row]})
            << "row " << row;
    }

    HWND adopter = NewAdopter();
    ASSERT_NE(adopter, nullptr);
    // (Wine carries the call out on the window's own thread, which puts the
    // window back as soon as it has been moved.)
    SetParent(channel, adopter);
    const std::size_t mark = program.Journal().size();
    const DWORD start = GetTickCount();
    EXPECT_EQ(program.Run("-servo joy8way"), static_cast<DWORD>(ExitHandedOver));
    EXPECT_LT(GetTickCount() - start, PeerSearchMilliseconds) << "searched to the end";
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"PacDrive 30"});
    EXPECT_EQ(FindWindowA("Velmora_Server", "Velmora_InterComm"), channel);

    // Kept busy with posted messages, the channel thread puts its window back
    // only after some of them; destroyed meanwhile along with the window it
    // was made the child of, it is made anew. Whether the destruction comes
    // first is a race between the two threads: tried a few times, and said which.
    constexpr int Flood = 20000;
    constexpr int Attempts = 3;
    const DWORD channelThread = GetWindowThreadProcessId(channel, nullptr);
    bool destroyed = false;
    for (int attempt = 0; attempt < Attempts && !destroyed; ++attempt) {
        HWND parent = NewAdopter();
        for (int i = 0; i < Flood; ++i) {
            PostThreadMessageA(channelThread, WM_USER, 0, 0);
        }
        SetParent(channel, parent);
        DestroyWindow(parent);
        destroyed = !IsWindow(channel);
    }
    std::printf("the channel window was %s\n", destroyed
                                                   ? "destroyed with its parent"
                                                   : "put back each time before its parent went");
    DestroyWindow(adopter);
    EXPECT_EQ(program.Run("-u360 joy8way"), static_cast<DWORD>(ExitHandedOver));
    EXPECT_TRUE(HasLine(program.JournalSince(mark), "UltraStik 13 0 joy8way"));
    EXPECT_EQ(program.ExitServer(), 0u);
}

// The first instance holds its mark while it lives; a mark that outlives it
// (held open by another program) or a name taken by another kind of object
// never makes a start wait for an instance that is not there, nor makes a
// second resident instance.
TEST(Channel, TheMarkDecidesTheFirstInstanceOnlyWhileItLives) {
    {
        ProgramUnderTest program(1, "4");
        program.StartServer();
        HANDLE held = OpenMutexA(SYNCHRONIZE, FALSE, "Velmora_Mutex");
        ASSERT_NE(held, nullptr);
        TerminateProcess(program.server, 99);
        ASSERT_EQ(WaitExit(program.server, 10000), 99u);
        program.server = program.Start("");
        EXPECT_NE(WaitForWindow("Velmora_Server", "Velmora_InterComm"), nullptr)
            << "a start after the first instance died did not take its place";
        const std::size_t mark = program.Journal().size();
        EXPECT_EQ(program.Run("-servo joy8way"), static_cast<DWORD>(ExitHandedOver));
        EXPECT_TRUE(HasLine(program.JournalSince(mark), "PacDrive 30"));
        EXPECT_EQ(program.ExitServer(), 0u);
        CloseHandle(held);
    }
    {
        HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, "Velmora_Mutex");
        ASSERT_NE(squatter, nullptr);
        ProgramUnderTest program(1, "4");
        program.server = program.Start("");
        ASSERT_NE(WaitForWindow("Velmora_Server", "Velmora_InterComm"), nullptr);
        EXPECT_EQ(program.Run("", 10000), static_cast<DWORD>(ExitHandedOver))
            << "a later start took itself for the first";
        const std::size_t mark = program.Journal().size();
        EXPECT_EQ(program.Run("-u360 joy2way", 10000), static_cast<DWORD>(ExitHandedOver));
        EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy2way"});
        EXPECT_EQ(program.ExitServer(), 0u);
        CloseHandle(squatter);
    }
}

// A loop we do not own that answers every sent message but never gets to the
// posted notice (Wine's window-menu loop on the shown Settings window,
// spinning on a DDE message it cannot unpack) holds no launcher: the line is
// withdrawn, never acted on, and the loop is ended so that the next acts.
TEST(HostileWindows, ALoopThatAnswersButNeverDispatchesHoldsNoLauncher) {
    ProgramUnderTest program(1, "4");
    program.StartServer();
    HWND controller = program.ControllerWindow();
    ASSERT_NE(controller, nullptr);
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(controller, WM_COMMAND, IDM_SETTINGS, 0, SMTO_NORMAL, 5000, &ignored);
    constexpr UINT PopupSystemMenu = 0x0313; // the taskbar's "show the window menu"
    PostMessageA(controller, PopupSystemMenu, 0, 0);
    ASSERT_TRUE(WaitUntil(
        [](void*) { return IsWindowVisible(FindWindowA("#32768", nullptr)) != 0; }, nullptr, 10000))
        << "no menu opened";
    constexpr LPARAM NoValidHandle = 1;
    PostMessageA(controller, WM_DDE_EXECUTE, 0, NoValidHandle);
    const std::size_t mark = program.Journal().size();
    const DWORD start = GetTickCount();
    // The later start's wait for progress runs out, on purpose: the loop never dispatches.
    EXPECT_EQ(program.Run("-u360 joy4way", 3 * NoProgressMilliseconds),
              static_cast<DWORD>(ExitNotDone));
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, NoProgressMilliseconds - 1000);
    EXPECT_LT(took, NoProgressMilliseconds + PeerSilenceMilliseconds);
    EXPECT_TRUE(AnswersWithinASecond(controller)) << "the loop was meant to answer throughout";
    EXPECT_TRUE(program.JournalSince(mark).empty()) << "a withdrawn line was acted on";
    EXPECT_EQ(program.Run("-u360 joy2way"), static_cast<DWORD>(ExitHandedOver))
        << "the loop still holds the main thread";
    EXPECT_EQ(program.JournalSince(mark), std::vector<std::string>{"UltraStik 13 0 joy2way"});
    EXPECT_EQ(program.ExitServer(), 0u);
}

} // namespace
