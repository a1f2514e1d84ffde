#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "support/Recorders.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(TrayLists, SetMovesToTheEndAtMostOnceAndClearingAnAbsentValueChangesNothing) {
    TrayIcon icon;
    const struct {
        int value;
        int on;
        std::vector<int> after;
    } steps[] = {
        {IDM_U360_JOY8WAY, 1, {IDM_U360_JOY8WAY}},
        {IDM_U360_JOY8WAY, 1, {IDM_U360_JOY8WAY}},
        {IDM_SERVO_4WAY, 1, {IDM_U360_JOY8WAY, IDM_SERVO_4WAY}},
        {IDM_U360_JOY8WAY, 1, {IDM_SERVO_4WAY, IDM_U360_JOY8WAY}},
        {IDM_U360_EASYJOY8WAY, 0, {IDM_SERVO_4WAY, IDM_U360_JOY8WAY}},
        {IDM_SERVO_4WAY, 0, {IDM_U360_JOY8WAY}},
        {IDM_U360_JOY8WAY, 0, {}},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        EXPECT_EQ(icon.SetItemChecked(steps[i].value, steps[i].on), 1);
        EXPECT_EQ(icon.CheckedIds, steps[i].after) << "step " << i;
        EXPECT_EQ(icon.SetPositionGreyed(steps[i].value, steps[i].on), 1);
        EXPECT_EQ(icon.GreyedPositions, steps[i].after) << "step " << i;
    }
}

// Reads the popup's item states while it is shown, then closes it.
class ProbingTrayIcon : public TrayIcon {
  public:
    void AdjustPopup(HMENU popup) override {
        ++adjusted;
        HMENU u360 = GetSubMenu(popup, IDM_POS_U360_SUBMENU);
        HMENU servo = GetSubMenu(popup, IDM_POS_SERVO_SUBMENU);
        for (int i = 0; i < GetMenuItemCount(u360); ++i) {
            u360States.push_back(GetMenuState(u360, i, MF_BYPOSITION) & (MF_CHECKED | MF_GRAYED));
        }
        for (int i = 0; i < GetMenuItemCount(servo); ++i) {
            servoStates.push_back(GetMenuState(servo, i, MF_BYPOSITION) & (MF_CHECKED | MF_GRAYED));
        }
        topGreyed.clear();
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            MENUITEMINFOA info = {};
            info.cbSize = sizeof info;
            info.fMask = MIIM_FTYPE | MIIM_STATE;
            GetMenuItemInfoA(popup, i, TRUE, &info);
            // Wine reports separators greyed; only the items count here.
            topGreyed.push_back(!(info.fType & MFT_SEPARATOR) && (info.fState & MFS_GRAYED) != 0);
        }
        // The menu's own loop runs the timer; ending the menu lets TrackPopupMenu return.
        SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR id, DWORD) {
            KillTimer(nullptr, id);
            EndMenu();
        });
    }
    int adjusted = 0;
    std::vector<UINT> u360States, servoStates;
    std::vector<bool> topGreyed;
};

class TrayMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(owner, nullptr);
        ASSERT_NE(icon.Install(GetModuleHandleA(nullptr), owner, TrayCallbackMessage, "Velmora",
                               nullptr, IDR_TRAYMENU, 0, nullptr, nullptr, 0, 10),
                  0);
        Drain();
    }
    void TearDown() override { DestroyWindow(owner); }

    // Posted messages for the owner window: "message:wParam".
    std::vector<std::pair<UINT, WPARAM>> Drain() {
        std::vector<std::pair<UINT, WPARAM>> posted;
        MSG message;
        while (PeekMessageA(&message, owner, 0, 0, PM_REMOVE)) {
            if (message.message == WM_NULL || message.message == WM_COMMAND) {
                posted.push_back({message.message, message.wParam});
            }
        }
        return posted;
    }

    ShellRecorder shell;
    ProbingTrayIcon icon;
    HWND owner = nullptr;
};

TEST_F(TrayMenu, RightButtonReleaseShowsTheMenuWithTheListsApplied) {
    icon.SetItemChecked(IDM_U360_JOY8WAY, 1);
    icon.SetItemChecked(IDM_SERVO_4WAY, 1);
    icon.SetPositionGreyed(IDM_POS_SERVO_SUBMENU, 1);

    EXPECT_EQ(icon.OnTrayNotification(IDR_TRAYMENU, MAKELPARAM(WM_RBUTTONUP, 0x1234)), 1);
    ASSERT_EQ(icon.adjusted, 1);
    const std::vector<UINT> u360 = {0, 0, MF_CHECKED, 0, 0, 0, 0, 0, 0};
    const std::vector<UINT> servo = {0, MF_CHECKED};
    EXPECT_EQ(icon.u360States, u360);
    EXPECT_EQ(icon.servoStates, servo);
    EXPECT_EQ(icon.topGreyed, (std::vector<bool>{false, true, false, false, false, false}));

    // WM_NULL goes to the record's window once the menu has closed.
    const auto posted = Drain();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].first, static_cast<UINT>(WM_NULL));
}

TEST_F(TrayMenu, ListChangesShowAtTheNextRightClick) {
    icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_EQ(icon.u360States, std::vector<UINT>(9, 0));
    icon.u360States.clear();
    icon.SetItemChecked(IDM_U360_MOUSE, 1);
    icon.SetPositionGreyed(IDM_POS_U360_SUBMENU, 1);
    icon.OnTrayNotification(IDR_TRAYMENU, WM_RBUTTONUP);
    EXPECT_EQ(icon.u360States[0], static_cast<UINT>(MF_CHECKED));
    EXPECT_TRUE(icon.topGreyed[0]);
}

TEST_F(TrayMenu, DoubleClickPostsPositionZerosIdTheSubmenusMinusOne) {
    EXPECT_EQ(icon.OnTrayNotification(IDR_TRAYMENU, WM_LBUTTONDBLCLK), 1);
    const auto posted = Drain();
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].first, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(static_cast<UINT>(posted[0].second), 0xFFFFFFFFu) << "a submenu has id -1";
    EXPECT_EQ(icon.adjusted, 0);
}

TEST_F(TrayMenu, OtherMouseMessagesAndOtherIconsDoNothing) {
    for (UINT mouse : {WM_LBUTTONUP, WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN}) {
        EXPECT_EQ(icon.OnTrayNotification(IDR_TRAYMENU, mouse), 1) << mouse;
    }
    EXPECT_EQ(icon.OnTrayNotification(110, WM_RBUTTONUP), 0);
    EXPECT_EQ(icon.OnTrayNotification(110, WM_LBUTTONDBLCLK), 0);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(icon.adjusted, 0);
}

TEST_F(TrayMenu, NoMenuResourceOrNoTargetGivesZero) {
    TrayIcon noMenu;
    noMenu.Install(GetModuleHandleA(nullptr), owner, TrayCallbackMessage, "x", nullptr, 4242, 0,
                   nullptr, nullptr, 0, 10);
    EXPECT_EQ(noMenu.OnTrayNotification(4242, WM_RBUTTONUP), 0);
    EXPECT_EQ(noMenu.OnTrayNotification(4242, WM_LBUTTONDBLCLK), 0);

    TrayIcon notInstalled;
    EXPECT_EQ(notInstalled.OnTrayNotification(0, WM_RBUTTONUP), 0) << "no target window";
}

} // namespace
