#include "channel/InstanceChannel.h"

#include "channel/SilenceClock.h"

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

bool InstanceChannel::CreateInstanceMutex() {
    if (mutex) {
        return false;
    }
    mutex = CreateMutexA(nullptr, FALSE, channelNames.mutex);
    // Two instances started together both miss the mutex at construction; only
    // the one that really created it may be the first.
    return !(mutex && GetLastError() == ERROR_ALREADY_EXISTS);
}

bool InstanceChannel::Start(HINSTANCE instance, const ChannelHandlers* newHandlers) {
    handlers = newHandlers;
    instanceHandle = instance;
    if (!CreateInstanceMutex()) {
        role = Client;
        className = channelNames.clientClass;
    }
    // The event is the only way the thread's loop ends: no event, no thread.
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent) {
        thread = CreateThread(nullptr, 0, ChannelThreadMain, this, 0, nullptr);
    }
    return static_cast<bool>(thread);
}

// The channel thread's loop. Only the program ends it, with the stop event: a
// WM_QUIT, posted by anyone, is ignored, and so is everything posted to the
// window, since nothing of ours posts there.
DWORD InstanceChannel::ServeUntilStopped() {
    DWORD idle = INFINITE;
    for (;;) {
        HANDLE stop = stopEvent.Get();
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, idle, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            return 0;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT || message.hwnd == window) {
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        idle = role == Server && handlers != nullptr && handlers->watch != nullptr
                   ? handlers->watch()
                   : INFINITE;
    }
}

DWORD WINAPI InstanceChannel::ChannelThreadMain(LPVOID parameter) {
    auto* self = static_cast<InstanceChannel*>(parameter);
    DWORD result = 0;
    if (self->role == Client &&
        WaitForSingleObject(self->stopEvent.Get(), ClientWindowDelayMilliseconds) ==
            WAIT_OBJECT_0) {
        return result; // handed over already: no window needed
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChannelWindowProc;
    windowClass.hInstance = self->instanceHandle;
    windowClass.lpszClassName = self->className;
    if (RegisterClassA(&windowClass)) {
        HWND created = CreateWindowExA(0, self->className, self->windowTitle, WS_OVERLAPPEDWINDOW,
                                       0, 0, 1, 1, nullptr, nullptr, self->instanceHandle, nullptr);
        if (created != nullptr) {
            // The object is handed over here, never in WM_CREATE, whose record
            // anyone can send.
            SetWindowLongPtrA(created, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
            self->window = created;
            result = self->ServeUntilStopped();
            DestroyWindow(created);
        }
        UnregisterClassA(self->className, self->instanceHandle);
    }
    return result;
}

namespace {

// What the default processing would do to the window itself (rename it, close
// or unmake it, or start a menu or move loop on the channel thread) as if the
// system had asked. Another program may ask, but only our own thread means it.
bool ReshapesTheWindow(UINT message) {
    constexpr UINT PopupSystemMenu = 0x0313; // the taskbar's "show the window menu"
    switch (message) {
    case WM_NCCREATE:
    case WM_CREATE:
    case WM_SETTEXT:
    case WM_CLOSE:
    case WM_DESTROY:
    case WM_NCDESTROY:
    case WM_SYSCOMMAND:
    case WM_CONTEXTMENU:
    case WM_SETREDRAW:
    case PopupSystemMenu:
        return true;
    default:
        return false;
    }
}

} // namespace

LRESULT CALLBACK InstanceChannel::ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    // Posted messages never get here (the loop drops them), so a message that
    // is not from another thread comes from our own calls.
    if (ReshapesTheWindow(message) && InSendMessage()) {
        return 0;
    }
    auto* self = reinterpret_cast<InstanceChannel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self == nullptr) {
        return DefWindowProcA(window, message, wParam, lParam); // still being created
    }
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

LRESULT InstanceChannel::OnCopyData(WPARAM wParam, LPARAM lParam) {
    if (role == Client || handlers == nullptr || handlers->line == nullptr) {
        return 0; // later instances never talk to each other: nothing to act on
    }
    // The data is the sender's only while we handle the message: copy it,
    // and never read past cbData, whatever the sender claims.
    constexpr DWORD Capacity = MaxForwardedText + 1;
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, Capacity));
    if (text == nullptr) {
        return TurnedAwayReply;
    }
    LRESULT reply = TurnedAwayReply;
    if (ReceivedText(reinterpret_cast<const COPYDATASTRUCT*>(lParam), text, Capacity)) {
        reply = handlers->line(static_cast<int>(wParam), text);
    }
    HeapFree(GetProcessHeap(), 0, text);
    return reply;
}

LRESULT InstanceChannel::OnChannelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COPYDATA:
        return OnCopyData(wParam, lParam);
    case LineOutcomeMessage:
        if (role == Server && handlers != nullptr && handlers->outcome != nullptr) {
            return handlers->outcome(static_cast<LRESULT>(wParam));
        }
        return OutcomeUnknown;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
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
// A first instance that is this program replies at once; another may act
// before it replies, for as long as it goes on answering.
bool DeliverWhileAnswered(Delivery* delivery) {
    const KernelHandle sender(CreateThread(nullptr, 0, Deliver, delivery, 0, nullptr));
    if (!sender) {
        Deliver(delivery);
        return true;
    }
    SilenceClock silence;
    while (WaitForSingleObject(sender.Get(), PeerProbeMilliseconds) == WAIT_TIMEOUT) {
        const DWORD sent = GetTickCount();
        if (PeerAnswers(delivery->peer)) {
            silence.Answered();
        } else if (silence.Unanswered(sent, PeerSilenceMilliseconds)) {
            return false; // the sender is still blocked in the send; the process ends with it
        }
    }
    return true;
}

} // namespace

namespace {

// Asks the first instance how the line behind its ticket fared until it has
// an outcome, or until its channel window has not answered for
// PeerSilenceMilliseconds.
HandOver AwaitOutcome(HWND peer, LRESULT ticket) {
    const DWORD asked = GetTickCount();
    DWORD interval = OutcomeFirstPollMilliseconds;
    SilenceClock silence;
    for (;;) {
        const DWORD sent = GetTickCount();
        DWORD_PTR outcome = OutcomeUnknown;
        if (SendMessageTimeoutA(peer, LineOutcomeMessage, static_cast<WPARAM>(ticket), 0,
                                SMTO_NORMAL, PeerProbeMilliseconds, &outcome)) {
            silence.Answered();
            switch (static_cast<LRESULT>(outcome)) {
            case OutcomeWaiting:
                break;
            case OutcomeActed:
                return HandOver::Acted;
            case OutcomeNotActed:
                return HandOver::NotDone;
            default:
                // Unfinished, or the line is no longer known: it was in the
                // running instance's hands, and nobody can say more.
                return HandOver::Unfinished;
            }
        } else if (!IsWindow(peer) || silence.Unanswered(sent, PeerSilenceMilliseconds)) {
            return HandOver::Unfinished; // ended, or silent too long, with the line in its hands
        }
        Sleep(interval);
        if (GetTickCount() - asked >= OutcomeQuickPollsMilliseconds) {
            interval = interval * 2 < OutcomeLastPollMilliseconds ? interval * 2
                                                                  : OutcomeLastPollMilliseconds;
        }
    }
}

} // namespace

HandOver InstanceChannel::Send(int value, const char* text) {
    // Elapsed time, not a sum of requested sleeps: a sleep lasts a whole timer
    // tick at least.
    const DWORD searchStart = GetTickCount();
    HWND peer = FindPeerWindow();
    while (peer == nullptr && GetTickCount() - searchStart < PeerSearchMilliseconds) {
        Sleep(PeerSearchIntervalMilliseconds);
        peer = FindPeerWindow();
    }
    if (peer == nullptr) {
        return HandOver::NotDone;
    }
    static Delivery delivery;
    delivery.peer = peer;
    delivery.value = static_cast<WPARAM>(value);
    delivery.data.dwData = 0;
    delivery.data.cbData = static_cast<DWORD>(std::strlen(text)) + 1;
    delivery.data.lpData = const_cast<char*>(text);
    delivery.reply = 0;
    if (!DeliverWhileAnswered(&delivery)) {
        return HandOver::Unfinished; // silent while it held the line: it may still act
    }
    if (delivery.reply == TurnedAwayReply) {
        return HandOver::NotDone;
    }
    if (!IsTagged(delivery.reply)) {
        return HandOver::Acted; // a peer that acts before it replies, whatever it replies
    }
    return AwaitOutcome(peer, delivery.reply);
}

void InstanceChannel::Close() {
    // The channel thread ends by itself, destroying its own window; the process
    // must not end while it is still being set up (the exit code would be lost).
    if (stopEvent) {
        SetEvent(stopEvent.Get());
    }
    bool ended = true;
    if (thread) {
        ended = WaitForSingleObject(thread.Get(), ChannelStopMilliseconds) == WAIT_OBJECT_0;
        thread.Close();
    }
    if (!ended) {
        stopEvent.Abandon(); // the thread may still wait on it
    }
    stopEvent.Close();
    // Created unowned and never waited on: only its existence marks the first
    // instance, which ends once no process holds a handle to it.
    mutex.Close();
}
