// F4 and F8 while another program holds them: asked for again, and named in
// the tray icon's tip until Velmora has them.
#include "app/ControllerWindow.h"
#include "app/HotKeys.h"
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Tip() {
    char tip[128] = {};
    ComposeTip(tip, sizeof tip);
    return tip;
}

TEST(HotKeys, AKeyAnotherProgramHoldsIsNamedInTheTipUntilItIsTaken) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window, nullptr);
    // Held by another window, as another program would hold it.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(RegisterHotKey(other, HotKeyServo4Way, 0, VK_F4));
    ASSERT_TRUE(RegisterHotKey(other, HotKeyServo8Way, 0, VK_F8));
    RegisterHotKeys(window);
    EXPECT_EQ(Tip(), "Velmora: F4 is taken by another program; F8 is taken by another program");
    RetryHotKeys(window);
    EXPECT_EQ(Tip(), "Velmora: F4 is taken by another program; F8 is taken by another program")
        << "still held";
    // One let go: the icon's tip follows at once, not only once both are ours.
    UnregisterHotKey(other, HotKeyServo4Way);
    RetryHotKeys(window);
    EXPECT_STREQ(AppTrayIcon.IconRecord.szTip, "Velmora: F8 is taken by another program");
    UnregisterHotKey(other, HotKeyServo8Way);
    RetryHotKeys(window);
    EXPECT_STREQ(AppTrayIcon.IconRecord.szTip, "Velmora");
    EXPECT_FALSE(RegisterHotKey(other, HotKeyServo8Way, 0, VK_F8)) << "Velmora did not take it";
    UnregisterHotKey(window, HotKeyServo4Way);
    UnregisterHotKey(window, HotKeyServo8Way);
    DestroyWindow(other);
    DestroyWindow(window);
}

} // namespace
