// The tray picture and the Settings and About windows at the display
// scalings users pick (100, 125, 150 and 200 %). A process reads the scaling
// when it starts, so each row sets it in the registry and runs this program
// again as a child that reports what it sees; the row's scaling is restored
// afterwards, whatever happened.
#include "app/AppState.h"
#include "app/ControllerWindow.h"
#include "app/SettingsPicture.h"
#include "devices/U360Modes.h"
#include "resources/resource.h"
#include "settings/RegistryKey.h"
#include "support/Recorders.h"
#include "support/TempDir.h"
#include "tray/TrayIcon.h"
#include "tray/TrayPicture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

constexpr char ReportSwitch[] = "--report-scaling";
constexpr char DesktopKey[] = "Control Panel\\Desktop";
constexpr char DpiValue[] = "LogPixels";
constexpr DWORD ChildMilliseconds = 30000;

std::string Size(LONG width, LONG height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string IconSize(HICON icon) {
    ICONINFO info = {};
    BITMAP colour = {};
    if (!GetIconInfo(icon, &info)) {
        return "none";
    }
    GetObjectA(info.hbmColor, sizeof colour, &colour);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return Size(colour.bmWidth, colour.bmHeight);
}

// Every picture the tray is given: the startup's, then the mouse map's and
// a joystick map's.
std::string TrayPictures() {
    constexpr int OneStick = 1, Shown = 0;
    constexpr DWORD NoBalloonIcon = 0;
    constexpr UINT NoBalloonSeconds = 0;
    ShellRecorder shell;
    VendorRecorder vendor(OneStick);
    U360DeviceCount = OneStick;
    AppInstance = GetModuleHandleA(nullptr);
    AppTrayIcon.Install(AppInstance, nullptr, TrayCallbackMessage, "Velmora",
                        LoadSmallIcon(AppInstance, IDI_JOYSTICK_SMALL), IDR_TRAYMENU, Shown,
                        nullptr, nullptr, NoBalloonIcon, NoBalloonSeconds);
    ApplyU360Map("mouse");
    ApplyU360Map("joy4way");
    AppTrayIcon.Withdraw();
    std::string sizes;
    for (const ShellRecorder::Call& call : ShellRecorder::calls) {
        if ((call.record.uFlags & NIF_ICON) != 0) {
            sizes += " " + IconSize(call.record.hIcon);
        }
    }
    return sizes;
}

RECT PlaceIn(HWND dialog, HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

std::string PictureSize(HWND control) {
    BITMAP picture = {};
    auto* bitmap = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    if (bitmap == nullptr || GetObjectA(bitmap, sizeof picture, &picture) == 0) {
        return "none";
    }
    return Size(picture.bmWidth, picture.bmHeight);
}

// What of a dialog's visible controls is cut off, overlaps, or shows its
// picture stretched; " whole" when it lays out whole, after the size of the
// Settings window's picture.
std::string LayoutFaults(int dialogId) {
    HINSTANCE module = GetModuleHandleA(nullptr);
    HWND dialog = CreateDialogParamA(
        module, MAKEINTRESOURCEA(dialogId), nullptr,
        [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0);
    if (dialog == nullptr) {
        return " not created";
    }
    std::string picture, faults;
    if (dialogId == IDD_SETTINGS) {
        ShowSettingsPicture(module, dialog); // as the program does once it has made the window
        picture = " picture " + PictureSize(GetDlgItem(dialog, IDC_SETTINGS_PICTURE)) + ",";
    }
    RECT client;
    GetClientRect(dialog, &client);
    for (HWND c = GetWindow(dialog, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        if ((style & WS_VISIBLE) == 0) {
            continue;
        }
        const RECT place = PlaceIn(dialog, c);
        const std::string name = " control " + std::to_string(GetDlgCtrlID(c));
        RECT overlap;
        SIZE needed = {};
        char text[64] = {};
        char windowClass[16] = {};
        GetClassNameA(c, windowClass, sizeof windowClass);
        UnionRect(&overlap, &client, &place);
        if (!EqualRect(&overlap, &client)) {
            faults += name + " cut off";
        }
        for (HWND n = GetWindow(c, GW_HWNDNEXT); n != nullptr; n = GetWindow(n, GW_HWNDNEXT)) {
            const RECT other = PlaceIn(dialog, n);
            if ((GetWindowLongA(n, GWL_STYLE) & WS_VISIBLE) != 0 &&
                IntersectRect(&overlap, &place, &other)) {
                faults += name + " overlaps " + std::to_string(GetDlgCtrlID(n));
            }
        }
        const bool isStatic = std::strcmp(windowClass, "Static") == 0;
        const LONG kind = style & (isStatic ? SS_TYPEMASK : BS_TYPEMASK);
        if (isStatic && kind == SS_BITMAP) {
            RECT inside;
            GetClientRect(c, &inside);
            if (Size(inside.right, inside.bottom) != PictureSize(c)) {
                faults += name + " stretches its picture to " + Size(inside.right, inside.bottom);
            }
        } else if (!(isStatic && kind == SS_ICON) && GetWindowTextA(c, text, sizeof text) > 0) {
            HDC dc = GetDC(c);
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(c, WM_GETFONT, 0, 0)));
            GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &needed);
            ReleaseDC(c, dc);
            if (!isStatic && kind == BS_AUTOCHECKBOX) {
                needed.cx += GetSystemMetrics(SM_CXMENUCHECK); // the box beside the text
            }
        }
        if (needed.cx > place.right - place.left || needed.cy > place.bottom - place.top) {
            faults += name + " needs " + Size(needed.cx, needed.cy);
        }
    }
    DestroyWindow(dialog);
    return picture + (faults.empty() ? " whole" : faults);
}

std::string ReportAtThisDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return "dpi " + std::to_string(dpi) + "; tray" + TrayPictures() + "; Settings" +
           LayoutFaults(IDD_SETTINGS) + "; About" + LayoutFaults(IDD_ABOUT);
}

// The scaling new processes start with, restored to what it was on leaving.
class DisplayDpi {
  public:
    DisplayDpi() {
        RegCreateKeyExA(HKEY_CURRENT_USER, DesktopKey, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &key.handle, nullptr);
        DWORD size = sizeof saved;
        hadValue = RegQueryValueExA(key.handle, DpiValue, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS;
    }
    ~DisplayDpi() {
        if (hadValue) {
            Set(saved);
        } else {
            RegDeleteValueA(key.handle, DpiValue);
        }
    }
    void Set(DWORD dpi) {
        RegSetValueExA(key.handle, DpiValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                       sizeof dpi);
    }

  private:
    RegistryKey key;
    DWORD saved = 0;
    bool hadValue = false;
};

std::string ChildReport(const std::string& file) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    std::string line = std::string("\"") + self + "\" " + ReportSwitch + " \"" + file + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return "not started";
    }
    if (WaitForSingleObject(process.hProcess, ChildMilliseconds) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, WAIT_TIMEOUT);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ReadWholeFile(file);
}

TEST(DisplayScaling, TrayPicturesAndWindowsAtEveryScaling) {
    // The Settings picture: the one drawn for the scaling, never one larger.
    const struct {
        DWORD dpi;
        const char* smallIcon;
        const char* picture;
    } rows[] = {{96, "16x16", "128x128"},
                {120, "20x20", "128x128"},
                {144, "24x24", "192x192"},
                {192, "32x32", "256x256"}};
    DisplayDpi scaling;
    TempDir folder;
    for (const auto& row : rows) {
        scaling.Set(row.dpi);
        const std::string icon = row.smallIcon;
        EXPECT_EQ(ChildReport(folder.file(std::to_string(row.dpi) + ".txt")),
                  "dpi " + std::to_string(row.dpi) + "; tray " + icon + " " + icon + " " + icon +
                      "; Settings picture " + row.picture + ", whole; About whole")
            << "row " << row.dpi << " dpi";
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], ReportSwitch) == 0) {
        WriteWholeFile(argv[2], ReportAtThisDpi());
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
