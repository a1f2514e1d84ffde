#include "app/HotKeys.h"

#include "app/ControllerWindow.h"
#include "devices/VendorCheck.h"
#include "tray/TrayIcon.h"

#include <cstring>

namespace {

struct HotKey {
    int id;
    UINT key;
    const char* name;
    bool registered;
} Keys[] = {{HotKeyServo4Way, VK_F4, "F4", false}, {HotKeyServo8Way, VK_F8, "F8", false}};

DWORD RetrySince = 0;

int RegisteredCount() {
    int count = 0;
    for (const HotKey& key : Keys) {
        count += key.registered ? 1 : 0;
    }
    return count;
}

bool RegisterMissing(HWND window) {
    for (HotKey& key : Keys) {
        if (!key.registered) {
            key.registered = RegisterHotKey(window, key.id, 0, key.key) != 0;
        }
    }
    return RegisteredCount() == static_cast<int>(sizeof Keys / sizeof Keys[0]);
}

void Append(char* tip, std::size_t size, const char* text) {
    const std::size_t used = std::strlen(tip);
    if (used + 1 < size) {
        std::strncat(tip, text, size - used - 1);
    }
}

} // namespace

void RegisterHotKeys(HWND window) {
    if (!RegisterMissing(window)) {
        RetrySince = GetTickCount();
        SetTimer(window, HotKeyRetryTimer, HotKeyRetryMilliseconds, nullptr);
    }
}

void RetryHotKeys(HWND window) {
    const int before = RegisteredCount();
    const bool all = RegisterMissing(window);
    if (all || GetTickCount() - RetrySince >= HotKeyPatienceMilliseconds) {
        KillTimer(window, HotKeyRetryTimer);
    }
    if (RegisteredCount() != before) {
        char tip[sizeof AppTrayIcon.IconRecord.szTip] = {};
        ComposeTip(tip, sizeof tip);
        AppTrayIcon.SetTip(tip);
    }
}

void ComposeTip(char* tip, std::size_t size) {
    DescribeVendorFaults(tip, size);
    const char* separator = std::strchr(tip, ':') != nullptr ? "; " : ": ";
    for (const HotKey& key : Keys) {
        if (!key.registered) {
            Append(tip, size, separator);
            Append(tip, size, key.name);
            Append(tip, size, " is taken by another program");
            separator = "; ";
        }
    }
}
