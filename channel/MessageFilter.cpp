#include "channel/MessageFilter.h"

#include "channel/ChannelProtocol.h"

namespace {
FARPROC User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}
} // namespace

ChannelSeam ChannelCalls = {User32Function};

void AllowLaterInstancesToReach(HWND window) {
    using AllowForWindow = BOOL(WINAPI*)(HWND, UINT, DWORD, void*); // Windows 7
    using AllowForProcess = BOOL(WINAPI*)(UINT, DWORD);             // Vista
    constexpr DWORD Allow = 1; // MSGFLT_ALLOW and MSGFLT_ADD alike
    const UINT allowed[] = {WM_COPYDATA, LineOutcomeMessage};
    if (FARPROC found = ChannelCalls.user32Function("ChangeWindowMessageFilterEx")) {
        const auto allow = reinterpret_cast<AllowForWindow>(reinterpret_cast<void*>(found));
        for (UINT message : allowed) {
            allow(window, message, Allow, nullptr);
        }
    } else if (FARPROC found = ChannelCalls.user32Function("ChangeWindowMessageFilter")) {
        const auto allow = reinterpret_cast<AllowForProcess>(reinterpret_cast<void*>(found));
        for (UINT message : allowed) {
            allow(message, Allow);
        }
    }
}
