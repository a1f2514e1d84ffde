#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "support/Recorders.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace {

constexpr UINT ShownFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

HICON Icon(int which) {
    return reinterpret_cast<HICON>(static_cast<INT_PTR>(0x1000 + which));
}

// "OffTaskbar NotAdded RestoreOnRestart"
std::string State(const TrayIcon& icon) {
    return std::to_string(icon.OffTaskbar) + std::to_string(icon.NotAdded) +
           std::to_string(icon.RestoreOnRestart);
}
const char Constructed[] = "110", Shown[] = "001", Lost[] = "100", Withdrawn[] = "110";

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
    EXPECT_EQ(State(icon), Shown);
    EXPECT_EQ(icon.CommandWindow, icon.HiddenWindow);
}

TEST_F(Tray, SetIconBeforeInstallAndOffTheTaskbar) {
    TrayIcon icon;
    EXPECT_EQ(icon.SetIcon(Icon(2)), 0);
    EXPECT_EQ(icon.IconRecord.hIcon, nullptr);
    EXPECT_TRUE(ShellRecorder::calls.empty());

    ShellRecorder::results = {FALSE};
    EXPECT_EQ(Install(icon), 0);
    EXPECT_EQ(State(icon), Constructed);
    EXPECT_EQ(icon.SetIcon(Icon(3)), 1);
    EXPECT_EQ(ShellRecorder::calls.size(), 1u) << "only the failed add";

    // The next add that succeeds shows the remembered picture.
    EXPECT_EQ(icon.AddAgain(), 1);
    ASSERT_EQ(ShellRecorder::calls.size(), 2u);
    EXPECT_EQ(ShellRecorder::calls[1].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(ShellRecorder::calls[1].record.hIcon, Icon(3));
    EXPECT_EQ(ShellRecorder::calls[1].record.uFlags, ShownFlags);
    EXPECT_EQ(State(icon), Shown);

    EXPECT_EQ(icon.SetIcon(Icon(4)), 1);
    ASSERT_EQ(ShellRecorder::calls.size(), 3u);
    EXPECT_EQ(ShellRecorder::calls[2].message, static_cast<DWORD>(NIM_MODIFY));
    EXPECT_EQ(ShellRecorder::calls[2].record.uFlags, static_cast<UINT>(NIF_ICON));
    EXPECT_EQ(ShellRecorder::calls[2].record.hIcon, Icon(4));

    ShellRecorder::results = {FALSE};
    EXPECT_EQ(icon.SetIcon(Icon(5)), 0);
    EXPECT_EQ(icon.IconRecord.hIcon, Icon(5));
    EXPECT_EQ(State(icon), Shown);
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

TEST_F(Tray, WithdrawStates) {
    TrayIcon icon;
    Install(icon);
    ShellRecorder::results = {FALSE};
    EXPECT_EQ(icon.Withdraw(), 0) << "delete refused";
    EXPECT_EQ(icon.NotAdded, 0);
    EXPECT_EQ(icon.RestoreOnRestart, 0);
    EXPECT_EQ(icon.Withdraw(), 1);
    EXPECT_EQ(State(icon), Withdrawn);
    const std::size_t calls = ShellRecorder::calls.size();
    EXPECT_EQ(icon.Withdraw(), 1);
    EXPECT_EQ(ShellRecorder::calls.size(), calls) << "nothing left to delete";
}

TEST_F(Tray, TaskbarCreatedAddsAgainOnlyWhileShown) {
    ASSERT_NE(TaskbarCreatedMessage, 0u);
    TrayIcon icon;
    Install(icon);
    icon.SetIcon(Icon(7));
    ShellRecorder::calls.clear();

    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    ASSERT_EQ(ShellRecorder::calls.size(), 1u);
    EXPECT_EQ(ShellRecorder::calls[0].message, static_cast<DWORD>(NIM_ADD));
    EXPECT_EQ(ShellRecorder::calls[0].record.uFlags, ShownFlags);
    EXPECT_EQ(ShellRecorder::calls[0].record.hIcon, Icon(7));
    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(ShellRecorder::calls.size(), 2u) << "a second broadcast adds again";

    // A failed re-add: Lost; later broadcasts and pictures change nothing.
    ShellRecorder::results = {FALSE};
    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(State(icon), Lost);
    EXPECT_EQ(icon.SetIcon(Icon(8)), 1);
    SendMessageA(icon.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(ShellRecorder::calls.size(), 3u);

    // A window of the same class that is not ours gets the default processing.
    HWND other = CreateWindowExA(0, "TrayIconClass", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    SendMessageA(other, TaskbarCreatedMessage, 0, 0);
    EXPECT_EQ(ShellRecorder::calls.size(), 3u);
    DestroyWindow(other);
}

TEST_F(Tray, TaskbarCreatedAfterWithdrawOrAFailedAddDoesNothing) {
    TrayIcon withdrawn;
    Install(withdrawn);
    withdrawn.Withdraw();
    ShellRecorder::calls.clear();
    SendMessageA(withdrawn.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(ShellRecorder::calls.empty());

    TrayIcon failed;
    ShellRecorder::results = {FALSE};
    Install(failed);
    ShellRecorder::calls.clear();
    SendMessageA(failed.HiddenWindow, TaskbarCreatedMessage, 0, 0);
    EXPECT_TRUE(ShellRecorder::calls.empty());
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
    EXPECT_EQ(State(old), Constructed);
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
    EXPECT_EQ(State(icon), Shown);
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
    EXPECT_EQ(State(never), Constructed);
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
