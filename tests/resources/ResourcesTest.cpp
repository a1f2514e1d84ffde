// Every resource the program addresses by number, read back from the built
// Velmora.exe and checked for its shape.
#include "resources/resource.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cctype>
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

// A DLGTEMPLATEEX, read field by field.
struct DialogItem {
    DWORD style;
    short x, y, cx, cy;
    DWORD id;
    std::string windowClass; // "#128" style for ordinals
    std::string text;
};
struct Dialog {
    DWORD style;
    short cx, cy;
    std::string title, font;
    WORD pointSize;
    std::vector<DialogItem> items;
};

class TemplateReader {
  public:
    explicit TemplateReader(const std::string& bytes) : p_(bytes.data()), begin_(bytes.data()) {}
    template <typename T> T Read() {
        T value;
        std::memcpy(&value, p_, sizeof value);
        p_ += sizeof value;
        return value;
    }
    std::string NameOrOrdinal() {
        const WORD first = Read<WORD>();
        if (first == 0) {
            return "";
        }
        if (first == 0xFFFF) {
            return "#" + std::to_string(Read<WORD>());
        }
        std::string text(1, static_cast<char>(first));
        for (WORD c; (c = Read<WORD>()) != 0;) {
            text += static_cast<char>(c);
        }
        return text;
    }
    void AlignTo4() {
        while ((p_ - begin_) % 4 != 0) {
            ++p_;
        }
    }

  private:
    const char* p_;
    const char* begin_;
};

Dialog ParseDialog(const std::string& bytes) {
    TemplateReader in(bytes);
    Dialog dialog{};
    EXPECT_EQ(in.Read<WORD>(), 1);      // dlgVer
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF); // signature: DLGTEMPLATEEX
    in.Read<DWORD>();                   // helpID
    in.Read<DWORD>();                   // exStyle
    dialog.style = in.Read<DWORD>();
    const WORD count = in.Read<WORD>();
    in.Read<short>();
    in.Read<short>();
    dialog.cx = in.Read<short>();
    dialog.cy = in.Read<short>();
    in.NameOrOrdinal(); // menu
    in.NameOrOrdinal(); // class
    dialog.title = in.NameOrOrdinal();
    dialog.pointSize = in.Read<WORD>();
    in.Read<WORD>(); // weight
    in.Read<BYTE>(); // italic
    in.Read<BYTE>(); // charset
    dialog.font = in.NameOrOrdinal();
    for (WORD i = 0; i < count; ++i) {
        in.AlignTo4();
        DialogItem item{};
        in.Read<DWORD>(); // helpID
        in.Read<DWORD>(); // exStyle
        item.style = in.Read<DWORD>();
        item.x = in.Read<short>();
        item.y = in.Read<short>();
        item.cx = in.Read<short>();
        item.cy = in.Read<short>();
        item.id = in.Read<DWORD>();
        item.windowClass = in.NameOrOrdinal();
        // Resource compilers write the predefined classes by name or by ordinal.
        for (char& c : item.windowClass) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        }
        if (item.windowClass == "BUTTON") {
            item.windowClass = "#128";
        } else if (item.windowClass == "STATIC") {
            item.windowClass = "#130";
        }
        item.text = in.NameOrOrdinal();
        const WORD extra = in.Read<WORD>();
        for (WORD b = 0; b < extra; ++b) {
            in.Read<BYTE>();
        }
        dialog.items.push_back(item);
    }
    return dialog;
}

constexpr DWORD DialogStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER;
const std::string Button = "#128", Static = "#130";

void ExpectItem(const DialogItem& got, DWORD id, const std::string& windowClass,
                const std::string& text, short x, short y, short cx, short cy, DWORD styleBits,
                bool visible) {
    SCOPED_TRACE("control " + std::to_string(static_cast<int>(id)) + " " + text);
    EXPECT_EQ(got.id, id);
    EXPECT_EQ(got.windowClass, windowClass);
    EXPECT_EQ(got.text, text);
    EXPECT_EQ(got.x, x);
    EXPECT_EQ(got.y, y);
    EXPECT_EQ(got.cx, cx);
    EXPECT_EQ(got.cy, cy);
    EXPECT_EQ(got.style & styleBits, styleBits);
    EXPECT_EQ((got.style & WS_VISIBLE) != 0, visible);
}

TEST_F(BuiltProgram, SettingsDialogLaidOutAsDesigned) {
    const Dialog dialog = ParseDialog(Bytes(RT_DIALOG, IDD_SETTINGS));
    EXPECT_EQ(dialog.title, "Settings");
    EXPECT_EQ(dialog.font, "MS Sans Serif");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.cx, 190);
    EXPECT_EQ(dialog.cy, 114);
    EXPECT_EQ(dialog.style & DialogStyle, DialogStyle);
    EXPECT_EQ(dialog.style & WS_VISIBLE, 0u) << "created hidden";
    ASSERT_EQ(dialog.items.size(), 6u);
    const DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
    ExpectItem(dialog.items[0], IDC_LAUNCH_ON_STARTUP, Button, "Launch on Startup", 103, 7, 80, 10,
               check, true);
    ExpectItem(dialog.items[1], IDC_OK, Button, "OK", 10, 93, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP,
               true);
    ExpectItem(dialog.items[2], IDC_CLOSE, Button, "Close", 133, 93, 50, 14, WS_TABSTOP, true);
    ExpectItem(dialog.items[3], IDC_MOUSE_DRAG, Button, "Mouse Drag", 103, 20, 80, 10, check,
               false);
    ExpectItem(dialog.items[4], static_cast<DWORD>(IDC_STATIC), Static, "#131", 10, 7, 87, 80,
               SS_BITMAP | WS_BORDER, true);
    ExpectItem(dialog.items[5], IDC_REVERSE_MOUSE, Button, "Reverse Mouse", 103, 34, 80, 10, check,
               false);
}

TEST_F(BuiltProgram, AboutDialogLaidOutAsDesigned) {
    const Dialog dialog = ParseDialog(Bytes(RT_DIALOG, IDD_ABOUT));
    EXPECT_EQ(dialog.title, "About");
    EXPECT_EQ(dialog.font, "System");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.cx, 186);
    EXPECT_EQ(dialog.cy, 40);
    EXPECT_EQ(dialog.style & DialogStyle, DialogStyle);
    ASSERT_EQ(dialog.items.size(), 3u);
    ExpectItem(dialog.items[0], IDC_ABOUT_ICON, Static, "#107", 14, 9, 20, 20, SS_ICON, true);
    ExpectItem(dialog.items[1], static_cast<DWORD>(IDC_STATIC), Static, "Velmora Version 1.0", 49,
               6, 83, 8, 0, true);
    ExpectItem(dialog.items[2], IDOK, Button, "OK", 139, 6, 30, 11,
               BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, true);
}

// The sizes of the images in an icon group.
std::vector<int> IconSizes(const std::string& group) {
    std::vector<int> sizes;
    const WORD count = *reinterpret_cast<const WORD*>(group.data() + 4);
    for (WORD i = 0; i < count; ++i) {
        const BYTE width = static_cast<BYTE>(group[6 + 14 * i]);
        sizes.push_back(width == 0 ? 256 : width);
    }
    return sizes;
}

TEST_F(BuiltProgram, IconsAndBitmap) {
    EXPECT_EQ(IconSizes(Bytes(RT_GROUP_ICON, IDI_VELMORA)), (std::vector<int>{16, 32}));
    EXPECT_EQ(IconSizes(Bytes(RT_GROUP_ICON, IDI_JOYSTICK_SMALL)), (std::vector<int>{16, 32}));
    EXPECT_EQ(IconSizes(Bytes(RT_GROUP_ICON, IDI_MOUSE)), (std::vector<int>{16}));
    for (int id : {IDI_VELMORA, IDI_JOYSTICK_SMALL, IDI_MOUSE}) {
        HICON icon =
            static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, 16, 16, 0));
        EXPECT_NE(icon, nullptr) << id;
        DestroyIcon(icon);
    }

    const std::string bitmap = Bytes(RT_BITMAP, IDB_JOYSTICK);
    ASSERT_GE(bitmap.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, bitmap.data(), sizeof header);
    EXPECT_EQ(header.biWidth, 128);
    EXPECT_EQ(header.biHeight, 128);
    EXPECT_EQ(header.biBitCount, 8);
    EXPECT_EQ(header.biClrUsed, 256u);
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
}

} // namespace
