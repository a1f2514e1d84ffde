#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "support/Recorders.h"
#include "tray/MultiByteCut.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr UINT ShownFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

HICON Icon(int which) {
    return reinterpret_cast<HICON>(static_cast<INT_PTR>(0x1000 + which));
}

const char* Name(TrayState state) {
    const char* names[] = {"not added", "shown", "off the taskbar", "leaving", "waiting"};
    return names[static_cast<int>(state)];
}

class Tray : public ::testing::Test {
  protected:
    int Install(TrayIcon& icon, const char* tip = "Velmora", int hidden = 0,
                const char* balloon = nullptr, const char* title = nullptr) {
        return icon.Install(GetModuleHandleA(nullptr), nullptr, TrayCallbackMessage, tip, Icon(1),
                            IDR_TRAYMENU, hidden, balloon, title, 0, 10);
    }
    int CountCalls(DWORD message) const {
        int n = 0;
        for (const auto& call : ShellRecorder::calls) {
            n += call.message == message;
        }
        return n;
    }
    ShellRecorder shell;
};

// Serves this thread's messages, the icon's timer among them, until done()
// or the time is up.
template <typename Done> void Pump(DWORD milliseconds, Done done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < milliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
    }
}

TEST(TrayRecord, IsTheFullRecordThroughTheBalloonIcon) {
    EXPECT_EQ(TrayRecordSize, offsetof(NOTIFYICONDATAA, hBalloonIcon) + sizeof(HICON));
    EXPECT_EQ(sizeof(NOTIFYICONDATAA::szTip), 128u);
#if !defined(_WIN64)
    EXPECT_EQ(TrayRecordSize, 508u);
#endif
}

TEST_F(Tray, InstallAddsTheRecordAndTheTipIsCutTo127) {
    TrayIcon icon;
    const std::string tip(200, 't');
    EXPECT_NE(Install(icon, tip.c_str()), 0);
    ASSERT_EQ(ShellRecorder::calls.size(), 1u);
    const auto& call = ShellRecorder::calls[0];
    EXPECT_EQ(call.message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(call.record.cbSize, TrayRecordSize);
    EXPECT_EQ(call.record.uFlags, ShownFlags);
    EXPECT_EQ(call.record.uID, static_cast<UINT>(IDR_TRAYMENU));
    EXPECT_EQ(call.record.uCallbackMessage, TrayCallbackMessage);
    EXPECT_EQ(call.record.hIcon, Icon(1));
    EXPECT_EQ(call.record.hWnd, icon.HiddenWindow) << "no owner: the hidden window";
    EXPECT_EQ(std::string(call.record.szTip), tip.substr(0, 127));
    EXPECT_EQ(call.record.szTip[127], '\0');
    EXPECT_EQ(icon.State, TrayState::Shown);
    EXPECT_EQ(icon.CommandWindow, icon.HiddenWindow);
}

// The add, modify, delete and restore of the icon as a state machine: each
// row is one step, the shell's answers to the calls it makes, the calls
// expected (none: no call at all) and the state after it. Reinstate is the
// hidden window's timer, which a "TaskbarCreated" starts.
enum class Step { Install, SetIcon, TaskbarCreated, Reinstate, Withdraw };
const char* Name(Step step) {
    const char* names[] = {"Install", "SetIcon", "TaskbarCreated", "Reinstate", "Withdraw"};
    return names[static_cast<int>(step)];
}
struct Transition {
    Step step;
    std::vector<BOOL> shellAnswers;
    std::vector<DWORD> calls;
    TrayState after;
};

TEST_F(Tray, TransitionsAsTheTablesSay) {
    constexpr BOOL Yes = TRUE, No = FALSE;
    constexpr DWORD Add = NIM_ADD, Modify = NIM_MODIFY, Delete = NIM_DELETE;
    const TrayState NotAdded = TrayState::NotAdded, Shown = TrayState::Shown,
                    Off = TrayState::OffTaskbar, Leaving = TrayState::Leaving,
                    Waiting = TrayState::Waiting;
    const struct {
        const char* story;
        std::vector<Transition> rows;
    } stories[] = {
        {"shown, restored, withdrawn",
         {{Step::Install, {Yes}, {Add}, Shown},
          {Step::SetIcon, {Yes}, {Modify}, Shown},
          {Step::TaskbarCreated, {}, {}, Off},
          {Step::Reinstate, {Yes}, {Add}, Shown},
          {Step::Reinstate, {}, {}, Shown},
          {Step::Withdraw, {Yes}, {Delete}, NotAdded},
          {Step::TaskbarCreated, {}, {}, NotAdded},
          {Step::Reinstate, {}, {}, NotAdded},
          {Step::Withdraw, {}, {}, NotAdded}}},
        {"no taskbar yet, or none until one is made",
         {{Step::Install, {No}, {Add}, Waiting},
          {Step::SetIcon, {}, {}, Waiting},
          {Step::Reinstate, {No, No}, {Add, Modify}, Waiting},
          {Step::TaskbarCreated, {}, {}, Waiting},
          {Step::Reinstate, {Yes}, {Add}, Shown},
          {Step::SetIcon, {No}, {Modify}, Shown},
          {Step::Withdraw, {Yes}, {Delete}, NotAdded}}},
        {"withdrawn before any taskbar took it",
         {{Step::Install, {No}, {Add}, Waiting},
          {Step::Withdraw, {}, {}, NotAdded},
          {Step::Reinstate, {}, {}, NotAdded}}},
        {"a TaskbarCreated from anyone while the icon is shown",
         {{Step::Install, {Yes}, {Add}, Shown},
          {Step::TaskbarCreated, {}, {}, Off},
          {Step::SetIcon, {}, {}, Off},
          {Step::Reinstate, {No, Yes}, {Add, Modify}, Shown},
          {Step::SetIcon, {Yes}, {Modify}, Shown},
          {Step::TaskbarCreated, {}, {}, Off},
          {Step::Reinstate, {No, Yes}, {Add, Modify}, Shown}}},
        {"a restarted taskbar that is still coming up",
         {{Step::Install, {Yes}, {Add}, Shown},
          {Step::TaskbarCreated, {}, {}, Off},
          {Step::Reinstate, {No, No}, {Add, Modify}, Off},
          {Step::SetIcon, {}, {}, Off},
          {Step::Reinstate, {Yes}, {Add}, Shown}}},
        {"withdrawn while off the taskbar",
         {{Step::Install, {Yes}, {Add}, Shown},
          {Step::TaskbarCreated, {}, {}, Off},
          {Step::Withdraw, {No}, {Delete}, NotAdded}}},
        {"a refused delete",
         {{Step::Install, {Yes}, {Add}, Shown},
          {Step::Withdraw, {No}, {Delete}, Leaving},
          {Step::TaskbarCreated, {}, {}, Leaving},
          {Step::SetIcon, {Yes}, {Modify}, Leaving},
          {Step::Withdraw, {Yes}, {Delete}, NotAdded}}},
    };
    for (const auto& story : stories) {
        TrayIcon icon;
        for (std::size_t row = 0; row < story.rows.size(); ++row) {
            const Transition& t = story.rows[row];
            ShellRecorder::calls.clear();
            ShellRecorder::results.assign(t.shellAnswers.begin(), t.shellAnswers.end());
            switch (t.step) {
            case Step::Install:
                Install(icon);
                break;
            case Step::SetIcon:
                icon.SetIcon(Icon(2));
                break;
            case Step::TaskbarCreated:
                SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
                break;
            case Step::Reinstate:
                SendMessageA(icon.HiddenWindow, WM_TIMER, ReinstateTimer, 0);
                break;
            case Step::Withdraw:
                icon.Withdraw();
                break;
            }
            const std::string where = std::string(story.story) + ", row " + std::to_string(row) +
                                      " (" + Name(t.step) + ")";
            std::vector<DWORD> calls;
            for (const auto& call : ShellRecorder::calls) {
                calls.push_back(call.message);
            }
            EXPECT_EQ(calls, t.calls) << where;
            EXPECT_EQ(icon.State, t.after)
                << where << ": got " << Name(icon.State) << ", expected " << Name(t.after);
        }
    }
}

TEST_F(Tray, EveryAddCarriesTheLatestPictureAndTheFullFlags) {
    TrayIcon icon;
    ShellRecorder::results = {FALSE};
    Install(icon);
    EXPECT_EQ(icon.SetIcon(Icon(3)), 1) << "remembered for the next add";
    ShellRecorder::results = {TRUE};
    Pump(2000, [&icon] { return icon.State == TrayState::Shown; });
    ASSERT_EQ(icon.State, TrayState::Shown) << "a refused add was not tried again";
    EXPECT_EQ(ShellRecorder::calls.back().record.hIcon, Icon(3));
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, ShownFlags);
    icon.SetIcon(Icon(4));
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, static_cast<UINT>(NIF_ICON));

    // The re-add after a "TaskbarCreated" comes from the message loop, by the
    // hidden window's own timer, with the picture of the moment; a duplicate
    // add is followed by a modify of the whole record.
    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    icon.SetIcon(Icon(5));
    const std::size_t before = ShellRecorder::calls.size();
    ShellRecorder::results = {FALSE, TRUE};
    Pump(2000, [&icon] { return icon.State == TrayState::Shown; });
    ASSERT_EQ(ShellRecorder::calls.size(), before + 2) << "no re-add from the timer";
    for (std::size_t i = before; i < ShellRecorder::calls.size(); ++i) {
        EXPECT_EQ(ShellRecorder::calls[i].record.hIcon, Icon(5)) << "call " << i;
        EXPECT_EQ(ShellRecorder::calls[i].record.uFlags, ShownFlags) << "call " << i;
    }
    EXPECT_EQ(ShellRecorder::calls[before + 1].message, static_cast<DWORD>(NIM_MODIFY));

    // A window of the icon's class that is not the icon's gets the default processing.
    const std::size_t calls = ShellRecorder::calls.size();
    HWND other = CreateWindowExA(0, "TrayIconClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SendMessageA(other, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(ShellRecorder::calls.size(), calls);
    DestroyWindow(other);
}

TEST_F(Tray, DestructionDeletesOnlyWhatWasAdded) {
    { TrayIcon never; }
    EXPECT_TRUE(ShellRecorder::calls.empty());
    EXPECT_TRUE(ShellRecorder::destroyedWindows.empty()) << "never installed: no DestroyWindow";

    {
        TrayIcon failed;
        ShellRecorder::results = {FALSE};
        Install(failed);
    }
    EXPECT_EQ(CountCalls(NIM_DELETE), 0) << "a failed add leaves nothing to delete";
    EXPECT_EQ(ShellRecorder::destroyedWindows.size(), 1u);

    HWND hidden = nullptr;
    {
        TrayIcon shown;
        Install(shown);
        hidden = shown.HiddenWindow;
    }
    EXPECT_EQ(CountCalls(NIM_DELETE), 1);
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, 0u);
    EXPECT_EQ(ShellRecorder::destroyedWindows.back(), hidden);
    EXPECT_FALSE(IsWindow(hidden));
    EXPECT_EQ(TrayIcon::ActiveInstance, nullptr) << "a destroyed icon is still reachable";
}

TEST_F(Tray, APlatformWithoutATrayGetsNothing) {
    ShellRecorder::version = 3; // Windows 3.x
    TrayIcon icon;
    EXPECT_EQ(Install(icon), 0);
    EXPECT_EQ(icon.HiddenWindow, nullptr);
    EXPECT_EQ(icon.SetIcon(Icon(2)), 0);
    EXPECT_EQ(icon.Withdraw(), 1);
    icon.Reinstate();
    EXPECT_TRUE(ShellRecorder::calls.empty());
}

// Where no taskbar takes the icon (a front end as the shell), the tries end
// by themselves: nothing runs at rest.
TEST_F(Tray, RefusedAddsAreTriedAgainOnlyForThePatience) {
    TrayIcon icon;
    ShellRecorder::results.assign(1000, FALSE);
    EXPECT_EQ(Install(icon), 0);
    Pump(3 * ReinstateRetryMilliseconds, [] { return false; }); // tries on the timer's pace
    EXPECT_GE(CountCalls(NIM_ADD), 3);
    icon.ReinstateSince -= ReinstatePatienceMilliseconds;
    Pump(2 * ReinstateRetryMilliseconds, [] { return false; }); // the last try comes
    const int adds = CountCalls(NIM_ADD);
    Pump(3 * ReinstateRetryMilliseconds, [] { return false; }); // none may follow it
    EXPECT_EQ(CountCalls(NIM_ADD), adds) << "still trying after the patience";
    EXPECT_EQ(icon.State, TrayState::Waiting) << "a later taskbar still gets it";
}

TEST(MultiByteCut, NeverSplitsADoubleByteCharacter) {
    char member[6];
    CopyMultiByteCut(member, sizeof member, "abcdefgh", 1252);
    EXPECT_STREQ(member, "abcde");
    // Shift-JIS: "\x82\xA0" is one character of two bytes.
    CopyMultiByteCut(member, sizeof member, "abcd\x82\xA0", 932);
    EXPECT_STREQ(member, "abcd") << "the double-byte character does not fit whole";
    EXPECT_EQ(member[5], '\0');
    CopyMultiByteCut(member, sizeof member, "abc\x82\xA0z", 932);
    EXPECT_STREQ(member, "abc\x82\xA0");
    CopyMultiByteCut(member, sizeof member, nullptr, 932);
    EXPECT_STREQ(member, "");
}

} // namespace
