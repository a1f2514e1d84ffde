#include "app/LineQueue.h"

#include "app/ControllerWindow.h"
#include "app/LineLedger.h"
#include "cmdline/CommandDispatcher.h"

namespace {

// Shared by the two threads, under its lock. A critical section rather than
// a slim lock, which Windows XP lacks.
struct SharedQueue {
    SharedQueue() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    LineLedger ledger;
    HWND mainWindow = nullptr;
    DWORD noticedAt = 0; // when the notice was last posted again
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
    bool busy = false;         // inside a line or a mode change
    WORD lineInHand = 0;       // the ticket of the innermost line being acted on
    bool usageBoxOpen = false; // a usage box waits for the user
} MainThread;

void AnnounceWaitingLines() {
    HWND target = nullptr;
    {
        QueueLocked locked;
        if (Queue.ledger.HasWaiting() && Queue.ledger.IntakeState() == Intake::Accepting) {
            target = Queue.mainWindow;
        }
    }
    if (target != nullptr) {
        PostMessageA(target, LineNoticeMessage, 0, 0); // on failure, posted again when asked
    }
}

// Under the lock: the main thread has not come back to its messages for a
// while, by the measure Windows uses to call a window "not responding".
bool MainThreadHung() {
    return Queue.mainWindow != nullptr && IsHungAppWindow(Queue.mainWindow);
}

LRESULT OnLine(const char* text, DWORD length, DWORD key) {
    WORD ticket = 0;
    {
        QueueLocked locked;
        ticket = Queue.ledger.Admit(text, length, key, GetTickCount(), MainThreadHung());
    }
    AnnounceWaitingLines();
    return ticket != 0 ? Tagged(ticket) : TurnedAwayReply;
}

LRESULT OnOutcomeAsked(LRESULT ticket, DWORD key) {
    bool again = false;
    HWND stuck = nullptr;
    LRESULT outcome = OutcomeUnknown;
    {
        QueueLocked locked;
        const DWORD now = GetTickCount();
        const bool hung = MainThreadHung();
        if (Queue.ledger.HasWaiting() && !hung &&
            now - Queue.ledger.ProgressAt() >= NoProgressMilliseconds) {
            stuck = Queue.mainWindow; // it answers, yet takes nothing
        }
        outcome = Queue.ledger.Outcome(ticket, key, now, hung);
        if (now - Queue.ledger.ProgressAt() >= NoticeRepeatMilliseconds &&
            now - Queue.noticedAt >= NoticeRepeatMilliseconds) {
            again = true;
            Queue.noticedAt = now;
        }
    }
    if (again) {
        AnnounceWaitingLines();
    }
    if (stuck != nullptr) {
        // A menu loop that another program started on the main thread may
        // answer every sent message and never get to a posted one: ending it
        // lets the next line through. Not waited for: this thread must not
        // wait on the main thread.
        SendNotifyMessageA(stuck, WM_CANCELMODE, 0, 0);
    }
    return outcome;
}

bool AwaitingCollection() {
    QueueLocked locked;
    return Queue.ledger.AwaitsCollection(GetTickCount());
}

} // namespace

const ChannelHandlers LineHandlers = {OnLine, OnOutcomeAsked};

CommandInProgress::CommandInProgress() : outermost(!MainThread.busy) {
    MainThread.busy = true;
}

CommandInProgress::~CommandInProgress() {
    if (outermost) {
        MainThread.busy = false;
        AnnounceWaitingLines(); // lines whose notice came while we were busy
    }
}

void DirectLinesTo(HWND mainWindow) {
    QueueLocked locked;
    Queue.mainWindow = mainWindow;
}

void AcceptLines() {
    {
        QueueLocked locked;
        Queue.ledger.Open(GetTickCount());
    }
    AnnounceWaitingLines();
}

void CloseLines() {
    {
        QueueLocked locked;
        if (Queue.ledger.IntakeState() == Intake::Closed) {
            return;
        }
        Queue.ledger.Close(GetTickCount());
    }
    // The senders learn the outcomes from the channel thread; this thread
    // keeps answering sent messages meanwhile, as a top-level window must.
    constexpr DWORD CheckMilliseconds = 10;
    const DWORD start = GetTickCount();
    while (AwaitingCollection() && GetTickCount() - start < OutcomeKeptMilliseconds) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, CheckMilliseconds, QS_SENDMESSAGE);
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void ActOnWaitingLine() {
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
        // On the disk before its sender learns it was acted on.
        KeepChoices();
        QueueLocked locked;
        Queue.ledger.Finish(line, acted, GetTickCount());
    }
    MainThread.lineInHand = outer;
}

bool MainThreadBusy() {
    return MainThread.busy;
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
    AnnounceWaitingLines();
    MessageBoxA(nullptr, text, caption, style);
    {
        QueueLocked locked;
        Queue.ledger.ShowingUsage(ticket, false, GetTickCount());
    }
    MainThread.busy = busy;
    MainThread.usageBoxOpen = false;
}
