// run.sh's hands inside the Wine desktop, where the Linux side sees one X
// window for everything: it lists, shows and closes Velmora's windows the
// way a user would, so run.sh can take pictures of them and never waits on a
// window nobody can see. It also tells run.sh whether Velmora runs: the
// running instance may have been started by a launcher's call, not by run.sh.
//   DesktopHelper running      the running Velmora's process id
//   DesktopHelper windows      the visible Velmora windows, one title a line
//   DesktopHelper close        answers every open box (usage, exit, About)
//   DesktopHelper settings     shows the Settings window and prints where it
//                              is on the desktop (WxH+X+Y, as convert -crop takes it)
//   DesktopHelper menu         opens the tray menu with its UltraStik 360 submenu
//   DesktopHelper menu-close   closes the tray menu again
// Exit code 0 when it did what was asked, 1 when there was nothing to do it to.
#include "app/ControllerWindow.h"
#include "resources/resource.h"
#include "tools/run/DesktopInput.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

DWORD VelmoraProcess() {
    HWND channel = FindWindowA("Velmora_Server", "Velmora_InterComm");
    DWORD pid = 0;
    if (channel != nullptr) {
        GetWindowThreadProcessId(channel, &pid);
    }
    return pid;
}

struct DialogSearch {
    DWORD pid;
    bool visibleOnly;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM p) {
    auto* search = reinterpret_cast<DialogSearch*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    char windowClass[16] = {};
    GetClassNameA(window, windowClass, sizeof windowClass);
    if (pid == search->pid && std::strcmp(windowClass, "#32770") == 0 &&
        (!search->visibleOnly || IsWindowVisible(window))) {
        search->found.push_back(window);
    }
    return TRUE;
}

// Top-level dialogs of the running Velmora: visible ones, or the hidden
// Settings window too.
std::vector<HWND> Dialogs(bool visibleOnly) {
    DialogSearch search = {VelmoraProcess(), visibleOnly, {}};
    if (search.pid != 0) {
        EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
}

std::string Title(HWND window) {
    char title[128] = {};
    GetWindowTextA(window, title, sizeof title);
    return title;
}

HWND Controller() {
    for (HWND dialog : Dialogs(false)) {
        if (Title(dialog) == "Settings") {
            return dialog;
        }
    }
    return nullptr;
}

bool WaitFor(bool (*condition)(), DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > milliseconds) {
            return false;
        }
        Sleep(50);
    }
    return true;
}

int PrintRunning() {
    const DWORD pid = VelmoraProcess();
    if (pid != 0) {
        std::printf("%lu\n", pid);
    }
    return pid != 0 ? 0 : 1;
}

int ListWindows() {
    const std::vector<HWND> shown = Dialogs(true);
    for (HWND dialog : shown) {
        std::printf("%s\n", Title(dialog).c_str());
    }
    return shown.empty() ? 1 : 0;
}

int CloseBoxes() {
    int closed = 0;
    for (HWND dialog : Dialogs(true)) {
        if (Title(dialog) == "Settings") {
            ShowWindow(dialog, SW_HIDE);
            continue;
        }
        // A usage box has only OK; the exit question and About take Cancel/OK.
        const int button = GetDlgItem(dialog, IDCANCEL) != nullptr ? IDCANCEL : IDOK;
        PostMessageA(dialog, WM_COMMAND, button, 0);
        ++closed;
    }
    WaitFor([] { return Dialogs(true).empty(); }, 5000);
    return closed > 0 ? 0 : 1;
}

int ShowSettings() {
    HWND controller = Controller();
    if (controller == nullptr) {
        return 1;
    }
    PostMessageA(controller, WM_COMMAND, IDM_SETTINGS, 0);
    if (!WaitFor([] { return IsWindowVisible(Controller()) != FALSE; }, 5000)) {
        return 1;
    }
    RECT frame;
    GetWindowRect(controller, &frame);
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left,
                frame.top);
    return 0;
}

int OpenMenu() {
    HWND controller = Controller();
    if (controller == nullptr) {
        return 1;
    }
    // The menu opens at the cursor, as on a right-click on the icon.
    const int x = GetSystemMetrics(SM_CXSCREEN) / 3, y = GetSystemMetrics(SM_CYSCREEN) / 3;
    MouseTo(x, y);
    PostMessageA(controller, TrayCallbackMessage, IDR_TRAYMENU, WM_RBUTTONUP);
    if (!WaitFor([] { return OpenMenus().size() == 1; }, 5000)) {
        return 1;
    }
    RECT popup;
    GetWindowRect(OpenMenus()[0], &popup);
    MouseTo(popup.left + 30, popup.top + 10); // "UltraStik 360"
    return WaitFor([] { return OpenMenus().size() == 2; }, 5000) ? 0 : 1;
}

int CloseMenu() {
    for (int i = 0; i < 3 && !OpenMenus().empty(); ++i) {
        PressKey(VK_ESCAPE);
        Sleep(200);
    }
    return OpenMenus().empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "running") {
        return PrintRunning();
    }
    if (command == "windows") {
        return ListWindows();
    }
    if (command == "close") {
        return CloseBoxes();
    }
    if (command == "settings") {
        return ShowSettings();
    }
    if (command == "menu") {
        return OpenMenu();
    }
    if (command == "menu-close") {
        return CloseMenu();
    }
    std::fprintf(stderr, "usage: DesktopHelper running|windows|close|settings|menu|menu-close\n");
    return 2;
}
