#include "tools/run/DesktopInput.h"

#include <algorithm>

std::vector<HWND> OpenMenus() {
    std::vector<HWND> menus;
    for (HWND w = FindWindowExA(nullptr, nullptr, "#32768", nullptr); w != nullptr;
         w = FindWindowExA(nullptr, w, "#32768", nullptr)) {
        if (IsWindowVisible(w)) {
            menus.push_back(w);
        }
    }
    std::sort(menus.begin(), menus.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return menus;
}

void MouseTo(int x, int y, DWORD buttons) {
    constexpr DWORD ReactionMilliseconds = 150;
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = (x * 65535 + width / 2) / (width - 1);
    input.mi.dy = (y * 65535 + height / 2) / (height - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &input, sizeof input);
    Sleep(ReactionMilliseconds);
}

void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}
