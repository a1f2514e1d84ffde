#include "app/RemoteCommands.h"

#include "app/LineLedger.h"
#include "cmdline/CommandDispatcher.h"

namespace {

// Shared by the two threads, under its lock. A critical section rather than
// a slim lock, which Windows XP lacks; it is ready during static
// initialisation, before the channel thread exists.
struct SharedQueue {
    SharedQueue() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    LineLedger ledger;
    HWND noticeTarget = nullptr;  // the main window, once startup has ended
    HWND watchedWindow = nullptr; // the main window, probed while lines are in its hands
} Queue;

class QueueLocked {
  public:
    QueueLocked() { EnterCriticalSection(&Queue.lock); }
    ~QueueLocked() { LeaveCriticalSection(&Queue.lock); }
    QueueLocked(const QueueLocked&) = delete;
    QueueLocked& operator=(const QueueLocked&) = delete;
};

// The main thread's own.
struct {
    bool busy = false;         // inside a command line or a mode change
    WORD lineInHand = 0;       // the ticket of the innermost line being acted on
    bool usageBoxOpen = false; // a usage box waits for the user
} MainThread;

// The channel thread's own.
struct {
    DWORD lastProbe = 0;
} ChannelThread;

void Announce(HWND target) {
    if (target != nullptr) {
        PostMessageA(target, RemoteCommandMessage, 0, 0); // on failure the watch posts again
    }
}

void AnnounceIfWaiting() {
    HWND target = nullptr;
    {
        QueueLocked locked;
        if (Queue.ledger.HasWaiting() && Queue.ledger.IntakeState() == Intake::Accepting) {
            target = Queue.noticeTarget;
        }
    }
    Announce(target);
}

// The channel's line handler.
LRESULT OnRemoteCommandLine(int value, const char* text) {
    if (value != 0) {
        return TurnedAwayReply;
    }
    PendingLine* line = NewPendingLine(text);
    if (line == nullptr) {
        return TurnedAwayReply;
    }
    WORD ticket = 0;
    HWND target = nullptr;
    {
        QueueLocked locked;
        ticket = Queue.ledger.Admit(line, GetTickCount());
        if (ticket != 0 && Queue.ledger.IntakeState() == Intake::Accepting) {
            target = Queue.noticeTarget;
        }
    }
    if (ticket == 0) {
        FreePendingLines(line);
        return TurnedAwayReply;
    }
    Announce(target);
    return Tagged(ticket);
}

// The channel's outcome handler.
LRESULT OnOutcomeAsked(LRESULT ticketReply) {
    QueueLocked locked;
    return Queue.ledger.Outcome(ticketReply, GetTickCount());
}

// The channel's watch, while lines are in the main thread's hands: probes it,
// withdraws what the ledger's rules say, and announces lines that wait again.
DWORD OnChannelIdle() {
    HWND watched = nullptr;
    {
        QueueLocked locked;
        if (!Queue.ledger.NeedsWatching()) {
            return INFINITE;
        }
        watched = Queue.watchedWindow;
    }
    // Called after every message the channel serves: probe on a schedule of our own.
    const DWORD sinceProbe = GetTickCount() - ChannelThread.lastProbe;
    if (sinceProbe < MainThreadProbeIntervalMilliseconds) {
        return MainThreadProbeIntervalMilliseconds - sinceProbe;
    }
    const DWORD sent = GetTickCount();
    ChannelThread.lastProbe = sent;
    // SMTO_NORMAL: while it waits, this thread still answers its own senders.
    DWORD_PTR ignored = 0;
    const bool answered =
        watched != nullptr && SendMessageTimeoutA(watched, WM_NULL, 0, 0, SMTO_NORMAL,
                                                  MainThreadProbeMilliseconds, &ignored) != 0;
    PendingLine* silenced = nullptr;
    PendingLine* stalled = nullptr;
    HWND target = nullptr;
    {
        QueueLocked locked;
        const DWORD now = GetTickCount();
        if (watched != nullptr) { // no main window yet: nothing to ask
            silenced = Queue.ledger.Probed(answered, sent, now);
        }
        stalled = Queue.ledger.WithdrawStalled(now);
        if (Queue.ledger.HasWaiting() && Queue.ledger.IntakeState() == Intake::Accepting &&
            now - Queue.ledger.StalledSince() >= NoticeRepeatMilliseconds) {
            target = Queue.noticeTarget;
        }
    }
    FreePendingLines(silenced);
    FreePendingLines(stalled);
    Announce(target);
    return MainThreadProbeIntervalMilliseconds;
}

} // namespace

const ChannelHandlers RemoteCommandHandlers = {OnRemoteCommandLine, OnOutcomeAsked, OnChannelIdle};

CommandInProgress::CommandInProgress() : outermost(!MainThread.busy) {
    MainThread.busy = true;
}

CommandInProgress::~CommandInProgress() {
    if (outermost) {
        MainThread.busy = false;
        AnnounceIfWaiting(); // lines whose notice came while we were busy
    }
}

void WatchMainThread(HWND mainWindow) {
    QueueLocked locked;
    Queue.watchedWindow = mainWindow;
}

void AcceptRemoteCommands(HWND target) {
    {
        QueueLocked locked;
        if (Queue.ledger.IntakeState() != Intake::BeforeLoop) {
            return;
        }
        Queue.noticeTarget = target;
        Queue.ledger.Open(GetTickCount());
    }
    AnnounceIfWaiting();
}

void CloseRemoteCommands() {
    PendingLine* turnedAway = nullptr;
    {
        QueueLocked locked;
        if (Queue.ledger.IntakeState() == Intake::Closed) {
            return;
        }
        turnedAway = Queue.ledger.Close(GetTickCount());
        Queue.noticeTarget = nullptr;
        Queue.watchedWindow = nullptr;
    }
    FreePendingLines(turnedAway);
    // The senders learn the outcomes from the channel thread; this thread
    // keeps answering sent messages meanwhile, as a top-level window must.
    constexpr DWORD CheckMilliseconds = 10;
    const DWORD start = GetTickCount();
    for (;;) {
        {
            QueueLocked locked;
            if (!Queue.ledger.AwaitsCollection(GetTickCount())) {
                break;
            }
        }
        if (GetTickCount() - start >= OutcomeCollectionMilliseconds) {
            break;
        }
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, CheckMilliseconds, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void ActOnRemoteCommands() {
    if (MainThread.busy) {
        return; // announced again when the outer work ends
    }
    PendingLine* line = nullptr;
    {
        QueueLocked locked;
        line = Queue.ledger.Take(GetTickCount());
    }
    if (line == nullptr) {
        return; // a stray notice, one whose line was taken already, or startup goes on
    }
    const WORD outer = MainThread.lineInHand; // a usage box's, when this runs inside it
    MainThread.lineInHand = line->ticket;
    {
        CommandInProgress busy; // its end announces the next line: settle this one first
        const bool acted = ProcessCommandLine(line->text) != 0;
        QueueLocked locked;
        Queue.ledger.Finish(line->ticket, acted, GetTickCount());
    }
    MainThread.lineInHand = outer;
    FreePendingLines(line);
}

void ShowUsageBox(const char* text, const char* caption, unsigned style) {
    if (MainThread.usageBoxOpen) {
        return; // the usage is on the screen already
    }
    MainThread.usageBoxOpen = true;
    const WORD ticket = MainThread.lineInHand;
    // The box only waits for the user: the line that asked for it is done
    // but for that, so other lines go on meanwhile.
    const bool busy = MainThread.busy;
    MainThread.busy = false;
    {
        QueueLocked locked;
        Queue.ledger.ShowingUsage(ticket, true, GetTickCount());
    }
    AnnounceIfWaiting();
    MessageBoxA(nullptr, text, caption, style);
    {
        QueueLocked locked;
        Queue.ledger.ShowingUsage(ticket, false, GetTickCount());
    }
    MainThread.busy = busy;
    MainThread.usageBoxOpen = false;
}
