#include "app/RemoteCommands.h"

#include "channel/SilenceClock.h"
#include "cmdline/CommandDispatcher.h"

#include <cstring>

namespace {

// One forwarded line while it waits; the main thread frees it once acted on.
struct PendingCommand {
    PendingCommand* next;
    WORD ticket;
    char text[1]; // the line, zero-terminated, allocated to its length
};

// What a sender may learn of its ticket. Records are reused in ticket order;
// one whose line is still in flight is never reused.
enum class LineState : unsigned char { Free, Waiting, Started, Acted, NotActed };
struct LineRecord {
    WORD ticket;
    LineState state;
    bool collected; // the sender has learnt the final state
};
constexpr int LineRecordCount = 2 * MaxPendingCommands; // divides 65536: tickets map evenly

enum class Intake { BeforeLoop, Accepting, Closed };

// Shared by the two threads, under QueueLock. A critical section rather than
// a slim lock, which Windows XP lacks; it is ready during static
// initialisation, before the channel thread exists.
struct QueueCriticalSection {
    QueueCriticalSection() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
} QueueLock;
PendingCommand* QueueHead = nullptr;
PendingCommand* QueueTail = nullptr;
int QueueLength = 0;
bool LineInHand = false; // the main thread is acting on a line
LineRecord Records[LineRecordCount] = {};
WORD LastTicket = 0;
Intake QueueIntake = Intake::BeforeLoop;
HWND QueueTarget = nullptr;
HWND WatchedWindow = nullptr;

// The watch over the main thread, under the lock but for LastProbe, which
// only the channel thread uses.
DWORD LastProbe = 0;
SilenceClock MainThreadSilence;
bool MainThreadSilent = false;

// The main thread's own: set while it acts on a line or changes a mode.
bool MainThreadBusy = false;

class QueueLocked {
  public:
    QueueLocked() { EnterCriticalSection(&QueueLock.section); }
    ~QueueLocked() { LeaveCriticalSection(&QueueLock.section); }
    QueueLocked(const QueueLocked&) = delete;
    QueueLocked& operator=(const QueueLocked&) = delete;
};

LineRecord& RecordOf(WORD ticket) {
    return Records[ticket % LineRecordCount];
}

PendingCommand* NewPendingCommand(const char* text) {
    const std::size_t length = std::strlen(text);
    auto* command = static_cast<PendingCommand*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(PendingCommand) + length));
    if (command != nullptr) {
        command->next = nullptr;
        command->ticket = 0;
        std::memcpy(command->text, text, length + 1);
    }
    return command;
}

void FreeCommands(PendingCommand* command) {
    while (command != nullptr) {
        PendingCommand* next = command->next;
        HeapFree(GetProcessHeap(), 0, command);
        command = next;
    }
}

// Under the lock: the whole queue, each line's record marked not acted on.
PendingCommand* TakeAllWaiting() {
    for (PendingCommand* command = QueueHead; command != nullptr; command = command->next) {
        RecordOf(command->ticket).state = LineState::NotActed;
    }
    PendingCommand* taken = QueueHead;
    QueueHead = QueueTail = nullptr;
    QueueLength = 0;
    return taken;
}

// Under the lock: queues the line with a new ticket; false when it is turned away.
bool Enqueue(PendingCommand* command) {
    WORD ticket = static_cast<WORD>(LastTicket + 1);
    if (ticket == 0) {
        ticket = 1; // 0 is no ticket: the turned-away reply
    }
    LineRecord& record = RecordOf(ticket);
    if (QueueIntake == Intake::Closed || MainThreadSilent || QueueLength >= MaxPendingCommands ||
        record.state == LineState::Waiting || record.state == LineState::Started) {
        return false;
    }
    LastTicket = ticket;
    record = {ticket, LineState::Waiting, false};
    command->ticket = ticket;
    if (QueueTail != nullptr) {
        QueueTail->next = command;
    } else {
        QueueHead = command;
    }
    QueueTail = command;
    ++QueueLength;
    return true;
}

void AnnounceIfWaiting() {
    HWND target = nullptr;
    {
        QueueLocked locked;
        if (QueueHead != nullptr && QueueIntake == Intake::Accepting) {
            target = QueueTarget;
        }
    }
    if (target != nullptr) {
        PostMessageA(target, RemoteCommandMessage, 0, 0);
    }
}

void RecordDone(WORD ticket, bool acted) {
    QueueLocked locked;
    RecordOf(ticket).state = acted ? LineState::Acted : LineState::NotActed;
    LineInHand = false;
    MainThreadSilence.Answered(); // it runs again
    MainThreadSilent = false;
}

bool OutcomesUncollected() {
    QueueLocked locked;
    for (const LineRecord& record : Records) {
        if ((record.state == LineState::Acted || record.state == LineState::NotActed) &&
            !record.collected) {
            return true;
        }
    }
    return false;
}

// The channel's line handler.
LRESULT OnRemoteCommandLine(int value, const char* text) {
    if (value != 0) {
        return TurnedAwayReply;
    }
    PendingCommand* command = NewPendingCommand(text);
    if (command == nullptr) {
        return TurnedAwayReply;
    }
    HWND announceTo = nullptr;
    {
        QueueLocked locked;
        if (!Enqueue(command)) {
            command->ticket = 0;
        } else if (QueueIntake == Intake::Accepting) {
            announceTo = QueueTarget;
        }
    }
    const WORD ticket = command->ticket;
    if (ticket == 0) {
        FreeCommands(command);
        return TurnedAwayReply;
    }
    if (announceTo != nullptr) {
        PostMessageA(announceTo, RemoteCommandMessage, 0, 0);
    }
    return Tagged(ticket);
}

// The channel's outcome handler.
LRESULT OnOutcomeAsked(LRESULT ticketReply) {
    if (!IsTagged(ticketReply)) {
        return OutcomeUnknown;
    }
    const WORD ticket = LOWORD(ticketReply); // its tag checked above
    QueueLocked locked;
    LineRecord& record = RecordOf(ticket);
    if (ticket == 0 || record.ticket != ticket) {
        return OutcomeUnknown;
    }
    switch (record.state) {
    case LineState::Waiting:
        return OutcomeWaiting;
    case LineState::Started:
        if (!MainThreadSilent) {
            return OutcomeWaiting;
        }
        record.collected = true;
        return OutcomeUnfinished;
    case LineState::Acted:
        record.collected = true;
        return OutcomeActed;
    case LineState::NotActed:
        record.collected = true;
        return OutcomeNotActed;
    default:
        return OutcomeUnknown;
    }
}

// The channel's watch: probes the main thread while lines are in its hands.
DWORD OnChannelIdle() {
    HWND target = nullptr;
    {
        QueueLocked locked;
        // Nothing in its hands: nothing to watch, unless it fell silent, when
        // only an answer tells that lines may be taken again.
        if (QueueLength == 0 && !LineInHand && !MainThreadSilent) {
            MainThreadSilence.Answered();
            return INFINITE;
        }
        target = WatchedWindow;
    }
    if (target == nullptr) {
        return MainThreadProbeIntervalMilliseconds; // no main window yet: nothing to ask
    }
    // Called after every message the channel serves: probe on a schedule of our own.
    const DWORD sinceProbe = GetTickCount() - LastProbe;
    if (sinceProbe < MainThreadProbeIntervalMilliseconds) {
        return MainThreadProbeIntervalMilliseconds - sinceProbe;
    }
    LastProbe = GetTickCount();
    // SMTO_NORMAL: while it waits, this thread still answers its own senders.
    DWORD_PTR ignored = 0;
    const bool answered = SendMessageTimeoutA(target, WM_NULL, 0, 0, SMTO_NORMAL,
                                              MainThreadProbeMilliseconds, &ignored) != 0;
    PendingCommand* withdrawn = nullptr;
    {
        QueueLocked locked;
        if (answered) {
            MainThreadSilence.Answered();
            MainThreadSilent = false;
        } else if (MainThreadSilence.Unanswered(LastProbe, MainThreadSilenceMilliseconds)) {
            MainThreadSilent = true;
            withdrawn = TakeAllWaiting();
        }
    }
    FreeCommands(withdrawn);
    return MainThreadProbeIntervalMilliseconds;
}

} // namespace

const ChannelHandlers RemoteCommandHandlers = {OnRemoteCommandLine, OnOutcomeAsked, OnChannelIdle};

CommandInProgress::CommandInProgress() : outermost(!MainThreadBusy) {
    MainThreadBusy = true;
}

CommandInProgress::~CommandInProgress() {
    if (outermost) {
        MainThreadBusy = false;
        AnnounceIfWaiting(); // lines whose notice came while we were busy
    }
}

void WatchMainThread(HWND mainWindow) {
    QueueLocked locked;
    WatchedWindow = mainWindow;
}

void AcceptRemoteCommands(HWND target) {
    {
        QueueLocked locked;
        if (QueueIntake != Intake::BeforeLoop) {
            return;
        }
        QueueTarget = target;
        QueueIntake = Intake::Accepting;
    }
    AnnounceIfWaiting();
}

void CloseRemoteCommands() {
    PendingCommand* turnedAway = nullptr;
    {
        QueueLocked locked;
        QueueIntake = Intake::Closed;
        QueueTarget = nullptr;
        WatchedWindow = nullptr;
        turnedAway = TakeAllWaiting();
    }
    FreeCommands(turnedAway);
    // The senders learn the outcomes from the channel thread; this thread
    // keeps answering sent messages meanwhile, as a top-level window must.
    constexpr DWORD CheckMilliseconds = 10;
    const DWORD start = GetTickCount();
    while (OutcomesUncollected() && GetTickCount() - start < OutcomeCollectionMilliseconds) {
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, CheckMilliseconds, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void ActOnRemoteCommands() {
    if (MainThreadBusy) {
        return; // announced again when the outer work ends
    }
    PendingCommand* command = nullptr;
    {
        QueueLocked locked;
        if (QueueIntake != Intake::Accepting || QueueHead == nullptr) {
            return; // a stray notice, or one whose line was taken already
        }
        command = QueueHead;
        QueueHead = command->next;
        if (QueueHead == nullptr) {
            QueueTail = nullptr;
        }
        --QueueLength;
        command->next = nullptr;
        RecordOf(command->ticket).state = LineState::Started;
        LineInHand = true;
    }
    {
        CommandInProgress busy; // its end announces the next line: record this one first
        const int acted = ProcessCommandLine(command->text);
        RecordDone(command->ticket, acted != 0);
    }
    FreeCommands(command);
}
