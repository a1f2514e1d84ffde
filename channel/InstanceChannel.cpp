#include "channel/InstanceChannel.h"

#include "channel/ChannelSeam.h"
#include "channel/SilenceClock.h"

#include <cstring>

namespace {

// The channel window's procedure finds its object here, never in window data
// that any program can rewrite: each channel thread serves one window.
thread_local InstanceChannel* ServedChannel = nullptr;
// Set while the channel thread itself makes or unmakes its window.
thread_local bool MakingOrUnmaking = false;

} // namespace

const ChannelNames VelmoraChannelNames = {"Velmora_Mutex", "Velmora_Server", "Velmora_Client",
                                          "Velmora_InterComm"};

InstanceChannel::InstanceChannel() : InstanceChannel(VelmoraChannelNames) {}

InstanceChannel::InstanceChannel(const ChannelNames& names)
    // Enough to learn whether a living first instance holds the mark, and to
    // take it from one that died.
    : mutex(OpenMutexA(SYNCHRONIZE, FALSE, names.mutex)), windowTitle(names.windowTitle),
      className(names.serverClass), channelNames(names) {}

InstanceChannel::~InstanceChannel() {
    Close();
}

bool InstanceChannel::CreateInstanceMutex() {
    if (!mutex) {
        mutex = CreateMutexA(nullptr, TRUE, channelNames.mutex);
        if (!mutex) {
            // Neither opened nor created: the name is another kind of object,
            // or the first instance runs elevated and its mark is closed to
            // us. A first instance still shows itself by its channel window.
            return FindWindowA(channelNames.serverClass, windowTitle) == nullptr;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            ownsMark = true;
            return true;
        }
    }
    // The first instance owns the mark for as long as it lives. One left
    // abandoned by a first instance that died, or held open by other
    // programs, is free to take; only one start can take it.
    const DWORD taken = WaitForSingleObject(mutex.Get(), 0);
    ownsMark = taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED;
    return ownsMark;
}

bool InstanceChannel::Start(HINSTANCE instance, const ChannelHandlers* newHandlers) {
    handlers = newHandlers;
    instanceHandle = instance;
    if (!CreateInstanceMutex()) {
        role = Client;
        className = channelNames.clientClass;
        // Held no longer than needed: a later start that kept it would keep
        // the mark of a first instance that died alive for others.
        mutex.Close();
    }
    // The event is the only way the thread's loop ends: no event, no thread.
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent) {
        thread = CreateThread(nullptr, 0, ChannelThreadMain, this, 0, nullptr);
    }
    return static_cast<bool>(thread);
}

bool InstanceChannel::KeepWindow() const {
    if (!IsWindow(window)) {
        return false;
    }
    // Another program can make the window a child of one of its own, which
    // hides it from FindWindowA without a word to us: put it back where later
    // instances look.
    if (role == Server && GetAncestor(window, GA_PARENT) != GetDesktopWindow()) {
        SetParent(window, nullptr);
    }
    return true;
}

// The channel thread's loop. Only the program ends it, with the stop event: a
// WM_QUIT, posted by anyone, is ignored like everything else posted here.
// False when the window is gone.
bool InstanceChannel::ServeUntilStopped() {
    DWORD idle = role == Server ? TopLevelCheckMilliseconds : INFINITE;
    for (;;) {
        HANDLE stop = stopEvent.Get();
        const DWORD woken = MsgWaitForMultipleObjects(1, &stop, FALSE, idle, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) {
            return true;
        }
        // Sent messages are served inside PeekMessage; nothing of ours is
        // ever posted to this thread, so every posted message is dropped
        // unread (Wine would call a WM_TIMER's lParam as a function). A flood
        // of them must not hold up the window's upkeep.
        MSG message;
        for (unsigned drained = 1; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++drained) {
            if (drained % UpkeepEveryMessages == 0 && !KeepWindow()) {
                return false;
            }
        }
        if (!KeepWindow()) {
            return false;
        }
        if (role != Server) {
            continue;
        }
        const DWORD watch =
            handlers != nullptr && handlers->watch != nullptr ? handlers->watch() : INFINITE;
        idle = watch < TopLevelCheckMilliseconds ? watch : TopLevelCheckMilliseconds;
    }
}

DWORD WINAPI InstanceChannel::ChannelThreadMain(LPVOID parameter) {
    auto* self = static_cast<InstanceChannel*>(parameter);
    if (self->role == Client &&
        WaitForSingleObject(self->stopEvent.Get(), ClientWindowDelayMilliseconds) ==
            WAIT_OBJECT_0) {
        return 0; // handed over already: no window needed
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChannelWindowProc;
    windowClass.hInstance = self->instanceHandle;
    windowClass.lpszClassName = self->className;
    if (RegisterClassA(&windowClass)) {
        ServedChannel = self;
        // Another program can destroy the window (by destroying one of its
        // own that it made ours the child of): a new one takes its place.
        while (self->MakeWindow() && !self->ServeUntilStopped()) {
        }
        ServedChannel = nullptr;
        MakingOrUnmaking = true;
        DestroyWindow(self->window);
        MakingOrUnmaking = false;
        UnregisterClassA(self->className, self->instanceHandle);
    }
    return 0;
}

bool InstanceChannel::MakeWindow() {
    MakingOrUnmaking = true;
    HWND created = CreateWindowExA(0, className, windowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 1, 1,
                                   nullptr, nullptr, instanceHandle, nullptr);
    MakingOrUnmaking = false;
    if (created == nullptr) {
        return false;
    }
    window = created;
    if (role == Server) {
        AllowLaterInstancesToReach(created);
    }
    return true;
}

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

namespace {

// A hidden window that only carries the hand-over needs the default
// processing while its thread makes or unmakes it, and for the system's
// broadcasts whose answer matters. Everything else it would do (rename,
// close or unmake it, run a menu, move or caption-button loop on the channel
// thread, ask a parent something) any program could ask for.
bool DefaultProcessingWanted(UINT message) {
    if (MakingOrUnmaking) {
        return true;
    }
    switch (message) {
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
    case WM_POWERBROADCAST:
    case WM_DEVICECHANGE:
        return true;
    default:
        return false;
    }
}

} // namespace

LRESULT CALLBACK InstanceChannel::ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    InstanceChannel* self = ServedChannel;
    if (self != nullptr && window == self->window &&
        (message == WM_COPYDATA || message == LineOutcomeMessage)) {
        return self->OnChannelMessage(message, wParam, lParam);
    }
    return DefaultProcessingWanted(message) ? DefWindowProcA(window, message, wParam, lParam) : 0;
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

LRESULT InstanceChannel::OnChannelMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        return OnCopyData(wParam, lParam);
    }
    if (role == Server && handlers != nullptr && handlers->outcome != nullptr) {
        return handlers->outcome(static_cast<LRESULT>(wParam));
    }
    return OutcomeUnknown;
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
struct Delivering {
    HWND peer;
    WPARAM value;
    COPYDATASTRUCT data;
    LRESULT reply;
    DWORD error; // the send's own error when it failed, else 0
};

DWORD WINAPI Deliver(LPVOID parameter) {
    auto* delivering = static_cast<Delivering*>(parameter);
    // A failed send returns 0 too, as a peer may reply: only the error tells them apart.
    SetLastError(ERROR_SUCCESS);
    delivering->reply = SendMessageA(delivering->peer, WM_COPYDATA, delivering->value,
                                     reinterpret_cast<LPARAM>(&delivering->data));
    delivering->error = delivering->reply == 0 ? GetLastError() : ERROR_SUCCESS;
    return 0;
}

// Asked rather than WM_NULL: it is one of the two messages an elevated first
// instance lets through. A ticket of 0 asks nothing; any peer answers it.
bool PeerAnswers(HWND peer) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(peer, LineOutcomeMessage, 0, 0, SMTO_NORMAL, PeerProbeMilliseconds,
                               &ignored) != 0;
}

// Whether the time since reached is up for a line that may not wait for a usage box.
bool OutOfTime(DWORD reached) {
    return GetTickCount() - reached >= HandOverLimitMilliseconds;
}

// Sends the WM_COPYDATA from a helper thread while this one checks that the
// peer still answers. A first instance that is this program replies at once;
// another may act before it replies, for as long as it goes on answering
// and, unless the line waits for a usage box, the time allows.
Delivery DeliverWhileAnswered(Delivering* delivering, DWORD reached, bool waitsForUsageBox) {
    const KernelHandle sender(CreateThread(nullptr, 0, Deliver, delivering, 0, nullptr));
    if (!sender) {
        Deliver(delivering);
    } else {
        SilenceClock silence;
        while (WaitForSingleObject(sender.Get(), PeerProbeMilliseconds) == WAIT_TIMEOUT) {
            const DWORD sent = GetTickCount();
            if (PeerAnswers(delivering->peer)) {
                silence.Answered();
            } else if (silence.Unanswered(sent, PeerSilenceMilliseconds)) {
                return Delivery::Lost; // the sender stays blocked; the process ends with it
            }
            if (!waitsForUsageBox && OutOfTime(reached)) {
                return Delivery::Lost;
            }
        }
    }
    if (delivering->error == ERROR_SUCCESS) {
        return Delivery::Replied;
    }
    // Refused by the system with the window still there, or sent to a window
    // already gone: nobody took the line. Gone in the middle of it: it did.
    if (IsWindow(delivering->peer) || delivering->error == ERROR_INVALID_WINDOW_HANDLE) {
        return Delivery::NotTaken;
    }
    return Delivery::Lost;
}

// Asks the first instance how the line behind its ticket fared until it is
// settled; OutcomeUnfinished when the channel window has not answered for
// PeerSilenceMilliseconds, is gone, or the time is up.
// The first instance's channel window made anew (another program destroyed
// the old one): its queue, and so the ticket, lives on. Null when there is
// none of that process.
HWND RemadeWindow(HWND gone, DWORD process, const ChannelNames& names) {
    HWND found = FindWindowA(names.serverClass, names.windowTitle);
    DWORD owner = 0;
    if (found == nullptr || found == gone || GetWindowThreadProcessId(found, &owner) == 0 ||
        owner != process) {
        return nullptr;
    }
    return found;
}

LRESULT AwaitOutcome(HWND peer, LRESULT ticket, DWORD reached, bool waitsForUsageBox,
                     const ChannelNames& names) {
    DWORD process = 0;
    GetWindowThreadProcessId(peer, &process);
    const DWORD asked = GetTickCount();
    DWORD interval = OutcomeFirstPollMilliseconds;
    SilenceClock silence;
    for (;;) {
        const DWORD sent = GetTickCount();
        DWORD_PTR answer = OutcomeUnknown;
        if (SendMessageTimeoutA(peer, LineOutcomeMessage, static_cast<WPARAM>(ticket), 0,
                                SMTO_NORMAL, PeerProbeMilliseconds, &answer)) {
            silence.Answered();
            const auto outcome = static_cast<LRESULT>(answer);
            const bool waitsForUser = outcome == OutcomeShowingUsage && waitsForUsageBox;
            if (outcome != OutcomeWaiting && outcome != OutcomeShowingUsage) {
                return outcome;
            }
            if (!waitsForUser && OutOfTime(reached)) {
                return OutcomeUnfinished;
            }
        } else if (!IsWindow(peer)) {
            peer = RemadeWindow(peer, process, names);
            if (peer == nullptr) {
                return OutcomeUnfinished; // ended with the line in its hands
            }
            continue;
        } else if (silence.Unanswered(sent, PeerSilenceMilliseconds) || OutOfTime(reached)) {
            return OutcomeUnfinished;
        }
        Sleep(interval);
        if (GetTickCount() - asked >= OutcomeQuickPollsMilliseconds) {
            interval = interval * 2 < OutcomeLastPollMilliseconds ? interval * 2
                                                                  : OutcomeLastPollMilliseconds;
        }
    }
}

} // namespace

HandOver JudgeHandOver(Delivery delivery, LRESULT reply, LRESULT outcome) {
    switch (delivery) {
    case Delivery::NotTaken:
        return HandOver::NotDone;
    case Delivery::Lost:
        return HandOver::Unfinished; // it may still act
    case Delivery::Replied:
        break;
    }
    if (reply == TurnedAwayReply) {
        return HandOver::NotDone;
    }
    if (!IsTagged(reply)) {
        return HandOver::Acted; // a peer that acts before it replies, whatever it replies
    }
    switch (outcome) {
    case OutcomeActed:
        return HandOver::Acted;
    case OutcomeNotActed:
        return HandOver::NotDone;
    default:
        // Unfinished, or the line is no longer known: it was in the running
        // instance's hands, and nobody can say more.
        return HandOver::Unfinished;
    }
}

HandOver InstanceChannel::Send(int value, const char* text, bool waitsForUsageBox) {
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
    const DWORD reached = GetTickCount();
    static Delivering delivering;
    delivering.peer = peer;
    delivering.value = static_cast<WPARAM>(value);
    delivering.data.dwData = 0;
    delivering.data.cbData = static_cast<DWORD>(std::strlen(text)) + 1;
    delivering.data.lpData = const_cast<char*>(text);
    delivering.reply = 0;
    delivering.error = ERROR_SUCCESS;
    const Delivery delivery = DeliverWhileAnswered(&delivering, reached, waitsForUsageBox);
    LRESULT outcome = OutcomeUnknown;
    if (delivery == Delivery::Replied && IsTagged(delivering.reply) &&
        delivering.reply != TurnedAwayReply) {
        outcome = AwaitOutcome(peer, delivering.reply, reached, waitsForUsageBox, channelNames);
    }
    return JudgeHandOver(delivery, delivering.reply, outcome);
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
    // Released by the main thread that took it (a handle opened with
    // SYNCHRONIZE alone cannot, and the mark is abandoned at the process's end).
    if (ownsMark) {
        ReleaseMutex(mutex.Get());
        ownsMark = false;
    }
    mutex.Close();
}
