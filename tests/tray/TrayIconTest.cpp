#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "support/Recorders.h"
#include "tray/MultiByteCut.h"
#include "tray/TaskbarWait.h"
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

// The icon's state: whether it is off the taskbar, whether it was never
// added (or deleted), and whether a restarted taskbar gets it back.
struct TrayState {
    int offTaskbar, notAdded, restoreOnRestart;
    bool operator==(const TrayState& o) const {
        return offTaskbar == o.offTaskbar && notAdded == o.notAdded &&
               restoreOnRestart == o.restoreOnRestart;
    }
};
std::ostream& operator<<(std::ostream& out, const TrayState& s) {
    return out << "{off " << s.offTaskbar << ", not added " << s.notAdded << ", restore "
               << s.restoreOnRestart << "}";
}
constexpr TrayState NotShown{1, 1, 0}, Shown{0, 0, 1}, Lost{1, 0, 0}, DeleteRefused{0, 0, 0};

TrayState StateOf(const TrayIcon& icon) {
    return {icon.OffTaskbar, icon.NotAdded, icon.RestoreOnRestart};
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
    EXPECT_EQ(StateOf(icon), Shown);
    EXPECT_EQ(icon.CommandWindow, icon.HiddenWindow);
}

// The add, modify, delete and restore of the icon as a state machine: each
// row is one step, the shell's answer to the call it makes, the call
// expected (none: no call at all) and the state after it.
enum class Step { Install, SetIcon, AddAgain, TaskbarCreated, Withdraw };
const char* Name(Step step) {
    const char* names[] = {"Install", "SetIcon", "AddAgain", "TaskbarCreated", "Withdraw"};
    return names[static_cast<int>(step)];
}
constexpr DWORD NoCall = ~0u;
struct Transition {
    Step step;
    BOOL shellAnswer;
    DWORD call;
    TrayState after;
};

TEST_F(Tray, TransitionsAsTheTablesSay) {
    const struct {
        const char* story;
        std::vector<Transition> rows;
    } stories[] = {
        {"shown, restored, withdrawn",
         {{Step::Install, TRUE, NIM_ADD, Shown},
          {Step::SetIcon, TRUE, NIM_MODIFY, Shown},
          {Step::TaskbarCreated, TRUE, NIM_ADD, Shown},
          {Step::TaskbarCreated, TRUE, NIM_ADD, Shown},
          {Step::AddAgain, TRUE, NoCall, Shown},
          {Step::Withdraw, TRUE, NIM_DELETE, NotShown},
          {Step::TaskbarCreated, TRUE, NoCall, NotShown},
          {Step::Withdraw, TRUE, NoCall, NotShown}}},
        {"a taskbar that comes late",
         {{Step::Install, FALSE, NIM_ADD, NotShown},
          {Step::SetIcon, TRUE, NoCall, NotShown},
          {Step::TaskbarCreated, TRUE, NoCall, NotShown},
          {Step::AddAgain, FALSE, NIM_ADD, NotShown},
          {Step::AddAgain, TRUE, NIM_ADD, Shown},
          {Step::SetIcon, FALSE, NIM_MODIFY, Shown},
          {Step::Withdraw, TRUE, NIM_DELETE, NotShown}}},
        {"a restarted taskbar that refuses the icon",
         {{Step::Install, TRUE, NIM_ADD, Shown},
          {Step::TaskbarCreated, FALSE, NIM_ADD, Lost},
          {Step::SetIcon, TRUE, NoCall, Lost},
          {Step::TaskbarCreated, TRUE, NoCall, Lost}}},
        {"a refused delete",
         {{Step::Install, TRUE, NIM_ADD, Shown},
          {Step::Withdraw, FALSE, NIM_DELETE, DeleteRefused},
          {Step::TaskbarCreated, TRUE, NoCall, DeleteRefused},
          {Step::Withdraw, TRUE, NIM_DELETE, NotShown}}},
    };
    for (const auto& story : stories) {
        TrayIcon icon;
        for (std::size_t row = 0; row < story.rows.size(); ++row) {
            const Transition& t = story.rows[row];
            ShellRecorder::calls.clear();
            ShellRecorder::results = {t.shellAnswer};
            switch (t.step) {
            case Step::Install:
                Install(icon);
                break;
            case Step::SetIcon:
                icon.SetIcon(Icon(2));
                break;
            case Step::AddAgain:
                icon.AddAgain();
                break;
            case Step::TaskbarCreated:
                SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
                break;
            case Step::Withdraw:
                icon.Withdraw();
                break;
            }
            const std::string where = std::string(story.story) + ", row " + std::to_string(row) +
                                      " (" + Name(t.step) + ")";
            if (t.call == NoCall) {
                EXPECT_TRUE(ShellRecorder::calls.empty()) << where << ": a call was made";
            } else {
                ASSERT_EQ(ShellRecorder::calls.size(), 1u) << where;
                EXPECT_EQ(ShellRecorder::calls[0].message, t.call) << where;
            }
            EXPECT_EQ(StateOf(icon), t.after) << where;
        }
    }
}

TEST_F(Tray, EveryAddCarriesTheLatestPictureAndTheFullFlags) {
    TrayIcon icon;
    ShellRecorder::results = {FALSE};
    Install(icon);
    EXPECT_EQ(icon.SetIcon(Icon(3)), 1) << "remembered for the next add";
    icon.AddAgain();
    EXPECT_EQ(ShellRecorder::calls.back().record.hIcon, Icon(3));
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, ShownFlags);
    icon.SetIcon(Icon(4));
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, static_cast<UINT>(NIF_ICON));
    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(ShellRecorder::calls.back().record.hIcon, Icon(4));
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, ShownFlags);

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

TEST_F(Tray, BalloonOnlyWhereTheShellHasBalloons) {
    {
        TrayIcon icon;
        ASSERT_EQ(icon.BalloonCapable, 1);
        Install(icon, "Velmora", 0, "Hello", "Title");
        ASSERT_EQ(ShellRecorder::calls.size(), 1u);
        const auto& record = ShellRecorder::calls[0].record;
        EXPECT_EQ(record.uFlags, ShownFlags | NIF_INFO);
        EXPECT_EQ(record.uTimeout, 10000u);
        EXPECT_STREQ(record.szInfo, "Hello");
        EXPECT_STREQ(record.szInfoTitle, "Title");
        EXPECT_EQ(icon.IconRecord.szInfo[0], '\0') << "the balloon is shown once";
    }
    ShellRecorder::calls.clear();
    ShellRecorder::platformId = VER_PLATFORM_WIN32_WINDOWS; // Windows 98: no balloons
    TrayIcon old;
    EXPECT_EQ(old.BalloonCapable, 0);
    Install(old, "Velmora", 0, "Hello", "Title");
    EXPECT_EQ(ShellRecorder::calls[0].record.uFlags, ShownFlags);
    EXPECT_EQ(ShellRecorder::calls[0].record.szInfo[0], '\0');
}

TEST_F(Tray, HiddenStart) {
    {
        TrayIcon icon;
        EXPECT_NE(Install(icon, "Velmora", 1), 0);
        ASSERT_EQ(ShellRecorder::calls.size(), 1u);
        const auto& record = ShellRecorder::calls[0].record;
        EXPECT_EQ(record.uFlags, static_cast<UINT>(NIF_STATE));
        EXPECT_EQ(record.dwState, static_cast<DWORD>(NIS_HIDDEN));
        EXPECT_EQ(record.dwStateMask, static_cast<DWORD>(NIS_HIDDEN));
        EXPECT_EQ(icon.AddFlags, static_cast<UINT>(NIF_STATE));
    }
    ShellRecorder::calls.clear();
    ShellRecorder::majorVersion = 4; // NT 4: no balloons, no states
    TrayIcon old;
    EXPECT_EQ(Install(old, "Velmora", 1), 1);
    EXPECT_TRUE(ShellRecorder::calls.empty());
    EXPECT_EQ(StateOf(old), NotShown);
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

TEST_F(Tray, WaitForTaskbarTriesAgainUntilAnAddSucceeds) {
    TrayIcon icon;
    ShellRecorder::results = {FALSE, FALSE, FALSE, TRUE};
    EXPECT_EQ(Install(icon), 0);
    EXPECT_EQ(WaitForTaskbar(icon, 5000, 10), 1);
    EXPECT_EQ(CountCalls(NIM_ADD), 4);
    EXPECT_EQ(StateOf(icon), Shown);
    EXPECT_EQ(ShellRecorder::calls.back().record.uFlags, ShownFlags);

    TrayIcon never;
    ShellRecorder::calls.clear();
    ShellRecorder::results.assign(1000, FALSE);
    EXPECT_EQ(Install(never), 0);
    const DWORD start = GetTickCount();
    EXPECT_EQ(WaitForTaskbar(never, 300, 20), 0);
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 280u);
    EXPECT_LT(took, 3000u);
    EXPECT_GE(CountCalls(NIM_ADD), 5);
    EXPECT_EQ(StateOf(never), NotShown);
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
