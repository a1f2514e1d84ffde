#include "channel/InstanceChannel.h"

#include <cstring>

const ChannelNames VelmoraChannelNames = {"Velmora_Mutex", "Velmora_Server", "Velmora_Client",
                                          "Velmora_InterComm"};

InstanceChannel::InstanceChannel() : InstanceChannel(VelmoraChannelNames) {}

InstanceChannel::InstanceChannel(const ChannelNames& names)
    : mutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, names.mutex)), windowTitle(names.windowTitle),
      className(names.serverClass), channelNames(names) {}

InstanceChannel::~InstanceChannel() {
    Close();
}

int InstanceChannel::CreateInstanceMutex() {
    if (mutex != nullptr) {
        return 0;
    }
    mutex = CreateMutexA(nullptr, FALSE, channelNames.mutex);
    // Two instances started together both miss the mutex at construction; only
    // the one that really created it may be the first.
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        return 0;
    }
    return 1;
}

int InstanceChannel::Start(HINSTANCE instance, ChannelCallback newCallback) {
    callback = newCallback;
    instanceHandle = instance;
    if (!CreateInstanceMutex()) {
        role = Client;
        className = channelNames.clientClass;
    }
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    threadHandle = CreateThread(nullptr, 0, ChannelThreadMain, this, 0, &threadId);
    return threadHandle != nullptr ? 1 : 0;
}

// The channel thread's loop. It ends on the stop event as well as on WM_QUIT:
// a quit posted before the thread has a message queue would be lost.
static DWORD ServeUntilStopped(HANDLE stopEvent) {
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(stopEvent != nullptr ? 1 : 0, &stopEvent,
                                                      FALSE, INFINITE, QS_ALLINPUT);
        if ((stopEvent != nullptr && woken == WAIT_OBJECT_0) || woken == WAIT_FAILED) {
            return 0;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return static_cast<DWORD>(message.wParam);
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

DWORD WINAPI InstanceChannel::ChannelThreadMain(LPVOID parameter) {
    auto* self = static_cast<InstanceChannel*>(parameter);
    DWORD result = 0;
    if (self->role == Client && self->stopEvent != nullptr &&
        WaitForSingleObject(self->stopEvent, ClientWindowDelayMilliseconds) == WAIT_OBJECT_0) {
        return result; // handed over already: no window needed
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChannelWindowProc;
    windowClass.hInstance = self->instanceHandle;
    windowClass.lpszClassName = self->className;
    if (RegisterClassA(&windowClass)) {
        self->window = CreateWindowExA(0, self->className, self->windowTitle, WS_OVERLAPPEDWINDOW,
                                       0, 0, 1, 1, nullptr, nullptr, self->instanceHandle, self);
        if (self->window != nullptr) {
            result = ServeUntilStopped(self->stopEvent);
        }
    }
    DestroyWindow(self->window);
    self->window = nullptr;
    UnregisterClassA(self->className, self->instanceHandle);
    return result;
}

LRESULT CALLBACK InstanceChannel::ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    InstanceChannel* self;
    if (message == WM_CREATE) {
        self =
            static_cast<InstanceChannel*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<InstanceChannel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
    }
    // Stored on every message: the first ones (WM_NCCREATE, WM_CREATE) arrive
    // before CreateWindowExA has returned the handle.
    self->window = window;
    return self->OnChannelMessage(window, message, wParam, lParam);
}

bool ReceivedText(const COPYDATASTRUCT* data, char* text, DWORD capacity) {
    text[0] = '\0';
    if (data == nullptr || data->lpData == nullptr || data->cbData == 0) {
        return true; // the empty text
    }
    const char* bytes = static_cast<const char*>(data->lpData);
    const void* zero = std::memchr(bytes, '\0', data->cbData);
    const DWORD length =
        zero != nullptr ? static_cast<DWORD>(static_cast<const char*>(zero) - bytes) : data->cbData;
    if (length > MaxForwardedText || length >= capacity) {
        return false;
    }
    std::memcpy(text, bytes, length);
    text[length] = '\0';
    return true;
}

LRESULT InstanceChannel::OnChannelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && role == Client) {
        return 0; // later instances never talk to each other: nothing to act on
    }
    if (message == WM_COPYDATA && callback != nullptr) {
        // The data is the sender's only while we handle the message: copy it,
        // and never read past cbData, whatever the sender claims.
        constexpr DWORD Capacity = MaxForwardedText + 1;
        char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, Capacity));
        if (text == nullptr) {
            return 0;
        }
        LRESULT reply = 0;
        if (ReceivedText(reinterpret_cast<const COPYDATASTRUCT*>(lParam), text, Capacity)) {
            reply = callback(static_cast<int>(wParam), text);
        }
        HeapFree(GetProcessHeap(), 0, text);
        return reply;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND InstanceChannel::FindPeerWindow() const {
    switch (role) {
    case Server:
        return FindWindowA(channelNames.clientClass, windowTitle);
    case Client:
        return FindWindowA(channelNames.serverClass, windowTitle);
    default:
        return nullptr;
    }
}

namespace {

// One WM_COPYDATA on its way. It lives until the process ends: a delivery
// given up on may still return into it.
struct Delivery {
    HWND peer;
    WPARAM value;
    COPYDATASTRUCT data;
    LRESULT reply;
};

DWORD WINAPI Deliver(LPVOID parameter) {
    auto* delivery = static_cast<Delivery*>(parameter);
    delivery->reply = SendMessageA(delivery->peer, WM_COPYDATA, delivery->value,
                                   reinterpret_cast<LPARAM>(&delivery->data));
    return 0;
}

bool PeerAnswers(HWND peer) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(peer, WM_NULL, 0, 0, SMTO_NORMAL, PeerProbeMilliseconds, &ignored) !=
           0;
}

// Sends the WM_COPYDATA from a helper thread while this one checks that the
// peer still answers; false when it fell silent (or is gone) before replying.
bool DeliverWhileAnswered(Delivery* delivery) {
    HANDLE sender = CreateThread(nullptr, 0, Deliver, delivery, 0, nullptr);
    if (sender == nullptr) {
        Deliver(delivery);
        return true;
    }
    DWORD silentSince = 0;
    bool silent = false;
    while (WaitForSingleObject(sender, PeerProbeMilliseconds) == WAIT_TIMEOUT) {
        if (PeerAnswers(delivery->peer)) {
            silent = false;
        } else if (!silent) {
            silent = true;
            silentSince = GetTickCount();
        } else if (GetTickCount() - silentSince >= PeerSilenceMilliseconds) {
            CloseHandle(sender); // still blocked in the send; the process ends with it
            return false;
        }
    }
    CloseHandle(sender);
    return true;
}

} // namespace

int InstanceChannel::Send(int value, const char* text) {
    // Elapsed time, not a sum of requested sleeps: a sleep lasts a whole timer
    // tick at least.
    const DWORD searchStart = GetTickCount();
    HWND peer = FindPeerWindow();
    while (peer == nullptr && GetTickCount() - searchStart < PeerSearchMilliseconds) {
        Sleep(PeerSearchIntervalMilliseconds);
        peer = FindPeerWindow();
    }
    if (peer == nullptr) {
        return 0;
    }
    static Delivery delivery;
    delivery.peer = peer;
    delivery.value = static_cast<WPARAM>(value);
    delivery.data.dwData = 0;
    delivery.data.cbData = static_cast<DWORD>(std::strlen(text)) + 1;
    delivery.data.lpData = const_cast<char*>(text);
    delivery.reply = 0;
    // The peer answers nonzero once it has acted on the text.
    return DeliverWhileAnswered(&delivery) && delivery.reply != 0 ? 1 : 0;
}

void InstanceChannel::Close() {
    // The channel thread ends by itself, destroying its own window; the process
    // must not end while it is still being set up (the exit code would be lost).
    if (stopEvent != nullptr) {
        SetEvent(stopEvent);
    }
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    bool ended = true;
    if (threadHandle != nullptr) {
        ended = WaitForSingleObject(threadHandle, ChannelStopMilliseconds) == WAIT_OBJECT_0;
        CloseHandle(threadHandle);
        threadHandle = nullptr;
    }
    // A thread that did not end may still wait on the event: it stays open
    // until the process ends.
    if (stopEvent != nullptr && ended) {
        CloseHandle(stopEvent);
        stopEvent = nullptr;
    }
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex); // the mutex, and with it the first-instance mark, goes now
        mutex = nullptr;
    }
}
