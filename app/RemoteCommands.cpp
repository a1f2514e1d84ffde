#include "app/RemoteCommands.h"

#include <atomic>

namespace {
HANDLE RemoteGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
std::atomic<HWND> RemoteTarget{nullptr};

// A dispatch may show the usage box, which waits for the user.
constexpr UINT NoTimeout = 0x7FFFFFFF;
} // namespace

void AcceptRemoteCommands(HWND target) {
    RemoteTarget = target;
    SetEvent(RemoteGate);
}

int OnRemoteCommandLine(int value, const char* text) {
    if (value != 0) {
        return 0;
    }
    WaitForSingleObject(RemoteGate, INFINITE);
    HWND target = RemoteTarget;
    if (target == nullptr) {
        return 0;
    }
    // SMTO_BLOCK: while the main thread acts on this line the channel thread
    // takes no other one, so forwarded lines never nest inside each other.
    DWORD_PTR acted = 0;
    if (!SendMessageTimeoutA(target, RemoteCommandMessage, 0, reinterpret_cast<LPARAM>(text),
                             SMTO_BLOCK, NoTimeout, &acted)) {
        return 0;
    }
    return acted != 0 ? 1 : 0;
}
