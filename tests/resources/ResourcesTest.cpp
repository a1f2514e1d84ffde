// Every resource the program addresses by number, read back from the built
// Velmora.exe and checked for its shape.
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class BuiltProgram : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        module = LoadLibraryExA(VELMORA_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    static void TearDownTestSuite() { FreeLibrary(module); }
    void SetUp() override { ASSERT_NE(module, nullptr) << VELMORA_EXE; }

    static std::string Bytes(LPCSTR type, int id) {
        HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
        if (found == nullptr) {
            return "";
        }
        const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
        return std::string(data, SizeofResource(module, found));
    }
    static HMODULE module;
};
HMODULE BuiltProgram::module = nullptr;

std::string MenuText(HMENU menu, int position) {
    char text[128] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

TEST_F(BuiltProgram, TrayMenuHasTheItemsInOrder) {
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(IDR_TRAYMENU));
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(MenuText(menu, 0), "");
    HMENU popup = GetSubMenu(menu, 0);
    ASSERT_EQ(GetMenuItemCount(popup), 6);
    EXPECT_EQ(MenuText(popup, 0), "UltraStik 360");
    EXPECT_EQ(MenuText(popup, 1), "ServoStik");
    EXPECT_EQ(IDM_POS_U360_SUBMENU, 0);
    EXPECT_EQ(IDM_POS_SERVO_SUBMENU, 1);
    EXPECT_NE(GetMenuState(popup, 2, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    const struct {
        int position;
        UINT id;
        const char* text;
    } items[] = {
        {3, IDM_SETTINGS, "Settings"}, {4, IDM_ABOUT, "&About Velmora..."}, {5, IDM_EXIT, "E&xit"}};
    for (const auto& item : items) {
        EXPECT_EQ(GetMenuItemID(popup, item.position), item.id);
        EXPECT_EQ(MenuText(popup, item.position), item.text);
    }

    const char* u360[] = {"Mouse",
                          "Analog Joystick",
                          "8-way Joystick",
                          "8-way Joystick Easy Diagonals",
                          "4-way Joystick",
                          "4-way Diagonal Joystick",
                          "4-way Rotated Diagonal Joystick",
                          "2-way Horizontal Joystick",
                          "2-way Vertical Joystick"};
    HMENU u360Menu = GetSubMenu(popup, 0);
    ASSERT_EQ(GetMenuItemCount(u360Menu), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(GetMenuItemID(u360Menu, i), static_cast<UINT>(32774 + i));
        EXPECT_EQ(MenuText(u360Menu, i), u360[i]);
        EXPECT_EQ(GetMenuState(u360Menu, i, MF_BYPOSITION) & (MF_CHECKED | MF_GRAYED), 0u);
    }
    HMENU servo = GetSubMenu(popup, 1);
    ASSERT_EQ(GetMenuItemCount(servo), 2);
    EXPECT_EQ(GetMenuItemID(servo, 0), static_cast<UINT>(IDM_SERVO_8WAY));
    EXPECT_EQ(MenuText(servo, 0), "8-way Joystick");
    EXPECT_EQ(GetMenuItemID(servo, 1), static_cast<UINT>(IDM_SERVO_4WAY));
    EXPECT_EQ(MenuText(servo, 1), "4-way Joystick");
    DestroyMenu(menu);
}

// The dialogs as Windows builds them from the templates of the built program.
struct Control {
    int id;
    const char* windowClass;
    const char* text; // null for a picture
    DWORD styleBits;
    bool visible;
};

void ExpectLiveDialog(HMODULE module, int dialogId, const char* title,
                      const std::vector<Control>& controls) {
    HWND dialog = CreateDialogParamA(
        module, MAKEINTRESOURCEA(dialogId), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    ASSERT_NE(dialog, nullptr) << "dialog " << dialogId;
    char text[64] = {};
    GetWindowTextA(dialog, text, sizeof text);
    EXPECT_STREQ(text, title);
    EXPECT_FALSE(IsWindowVisible(dialog)) << title << ": created hidden";
    constexpr DWORD Frame = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & Frame, Frame) << title;
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(child);
    }
    ASSERT_EQ(children.size(), controls.size()) << title;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Control& want = controls[i];
        HWND got = children[i];
        char windowClass[32] = {};
        GetClassNameA(got, windowClass, sizeof windowClass);
        GetWindowTextA(got, text, sizeof text);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(got, GWL_STYLE));
        SCOPED_TRACE(std::string(title) + " control " + std::to_string(i));
        EXPECT_EQ(GetDlgCtrlID(got), want.id);
        EXPECT_STREQ(windowClass, want.windowClass);
        if (want.text != nullptr) { // a picture's text is its resource number
            EXPECT_STREQ(text, want.text);
        }
        EXPECT_EQ(style & want.styleBits, want.styleBits);
        EXPECT_EQ((style & WS_VISIBLE) != 0, want.visible);
        const DWORD picture = style & SS_TYPEMASK;
        if (std::strcmp(want.windowClass, "Static") == 0 &&
            (picture == SS_BITMAP || picture == SS_ICON)) {
            EXPECT_NE(SendMessageA(got, STM_GETIMAGE,
                                   picture == SS_BITMAP ? IMAGE_BITMAP : IMAGE_ICON, 0),
                      0)
                << "its picture was not found";
        }
    }
    DestroyWindow(dialog);
}

TEST_F(BuiltProgram, DialogsHaveTheirControls) {
    constexpr DWORD Check = BS_AUTOCHECKBOX | WS_TABSTOP;
    ExpectLiveDialog(module, IDD_SETTINGS, "Settings",
                     {{IDC_LAUNCH_ON_STARTUP, "Button", "Launch on Startup", Check, true},
                      {IDC_OK, "Button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, true},
                      {IDC_CLOSE, "Button", "Close", WS_TABSTOP, true},
                      {IDC_MOUSE_DRAG, "Button", "Mouse Drag", Check, false},
                      {IDC_SETTINGS_PICTURE, "Static", nullptr, SS_BITMAP, true},
                      {IDC_REVERSE_MOUSE, "Button", "Reverse Mouse", Check, false}});
    ExpectLiveDialog(module, IDD_ABOUT, "About",
                     {{IDC_ABOUT_ICON, "Static", nullptr, SS_ICON, true},
                      {IDC_STATIC, "Static", "Velmora Version 1.0", 0, true},
                      {IDOK, "Button", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, true}});
}

// The frames of an icon group: "size/bits" per image.
std::vector<std::string> IconFrames(const std::string& group) {
    std::vector<std::string> frames;
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    for (WORD i = 0; i < count; ++i) {
        const char* entry = group.data() + 6 + 14 * i; // GRPICONDIRENTRY
        const BYTE width = static_cast<BYTE>(entry[0]);
        const WORD bits = *reinterpret_cast<const WORD*>(entry + 6);
        frames.push_back(std::to_string(width == 0 ? 256 : width) + "/" + std::to_string(bits));
    }
    return frames;
}

TEST_F(BuiltProgram, IconsAndBitmap) {
    // Every size the taskbar and Alt+Tab ask for at 100 to 200 % display
    // scaling, and for the small icons what the tray asks for, in 8-bit and
    // in 32-bit colour.
    const std::vector<std::string> large = {"16/8",  "20/8",  "24/8",  "32/8",  "48/8",
                                            "16/32", "20/32", "24/32", "32/32", "48/32"};
    const std::vector<std::string> small = {"16/8",  "20/8",  "24/8",  "32/8",
                                            "16/32", "20/32", "24/32", "32/32"};
    const struct {
        int id;
        const std::vector<std::string>& frames;
        std::vector<int> sizes;
    } icons[] = {{IDI_VELMORA, large, {16, 20, 24, 32, 48}},
                 {IDI_JOYSTICK_SMALL, small, {16, 20, 24, 32}},
                 {IDI_MOUSE, small, {16, 20, 24, 32}}};
    for (const auto& [id, frames, sizes] : icons) {
        EXPECT_EQ(IconFrames(Bytes(RT_GROUP_ICON, id)), frames) << "icon " << id;
        for (int size : sizes) {
            HICON icon = static_cast<HICON>(
                LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0));
            EXPECT_NE(icon, nullptr) << "icon " << id << " at " << size;
            ICONINFO info = {};
            BITMAP colour = {};
            if (icon != nullptr && GetIconInfo(icon, &info)) {
                GetObjectA(info.hbmColor, sizeof colour, &colour);
                EXPECT_EQ(colour.bmWidth, size)
                    << "icon " << id << ": a frame of its own, not scaled";
                DeleteObject(info.hbmColor);
                DeleteObject(info.hbmMask);
            }
            DestroyIcon(icon);
        }
    }

    // The Settings window's pictures for 100, 150 and 200 %.
    const struct {
        int id;
        LONG side;
    } bitmaps[] = {{IDB_JOYSTICK, 128}, {IDB_JOYSTICK_192, 192}, {IDB_JOYSTICK_256, 256}};
    for (const auto& row : bitmaps) {
        const std::string bitmap = Bytes(RT_BITMAP, row.id);
        ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER)) << "bitmap " << row.id;
        BITMAPINFOHEADER header;
        std::memcpy(&header, bitmap.data(), sizeof header);
        EXPECT_EQ(header.biWidth, row.side) << "bitmap " << row.id;
        EXPECT_EQ(header.biHeight, row.side) << "bitmap " << row.id;
        EXPECT_EQ(header.biBitCount, 8) << "bitmap " << row.id;
        EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RLE8))
            << "bitmap " << row.id << ": stored compactly";
        EXPECT_GT(header.biClrUsed, 0u) << "bitmap " << row.id << ": only the colours it uses";
        EXPECT_LT(header.biClrUsed, 256u) << "bitmap " << row.id << ": only the colours it uses";
    }
}

TEST_F(BuiltProgram, VersionRecordAndManifest) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(VELMORA_EXE, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(VELMORA_EXE, 0, size, info.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    for (const char* key : {"FileDescription", "ProductName"}) {
        char* value = nullptr;
        ASSERT_TRUE(VerQueryValueA(info.data(),
                                   (std::string("\\StringFileInfo\\040904b0\\") + key).c_str(),
                                   reinterpret_cast<void**>(&value), &length))
            << key;
        EXPECT_STREQ(value, "Velmora") << key;
    }

    const std::string manifest = Bytes(RT_MANIFEST, 1);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(manifest.find("<activeCodePage xmlns=\"http://schemas.microsoft.com/SMI/2019/"
                            "WindowsSettings\">UTF-8</activeCodePage>"),
              std::string::npos);
    EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/"
                            "WindowsSettings\">true</dpiAware>"),
              std::string::npos)
        << "drawn by the program at the display's scaling, not stretched by the system";
}

} // namespace
