#include "app/RemoteCommands.h"

#include "cmdline/CommandDispatcher.h"

#include <cstring>

namespace {

// One forwarded line, owned by the channel thread that waits on done; the main
// thread fills result and sets done, and never touches the line after that.
struct PendingCommand {
    PendingCommand* next;
    HANDLE done;
    int result;
    char text[1]; // the line, zero-terminated, allocated to its length
};

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
Intake QueueIntake = Intake::BeforeLoop;
HWND QueueTarget = nullptr;

// The main thread's own: set while it acts on a line or changes a mode.
bool MainThreadBusy = false;

class QueueLocked {
  public:
    QueueLocked() { EnterCriticalSection(&QueueLock.section); }
    ~QueueLocked() { LeaveCriticalSection(&QueueLock.section); }
    QueueLocked(const QueueLocked&) = delete;
    QueueLocked& operator=(const QueueLocked&) = delete;
};

PendingCommand* NewPendingCommand(const char* text) {
    const std::size_t length = std::strlen(text);
    auto* command = static_cast<PendingCommand*>(
        HeapAlloc(GetProcessHeap(), 0, sizeof(PendingCommand) + length));
    if (command == nullptr) {
        return nullptr;
    }
    command->done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (command->done == nullptr) {
        HeapFree(GetProcessHeap(), 0, command);
        return nullptr;
    }
    command->next = nullptr;
    command->result = 0;
    std::memcpy(command->text, text, length + 1);
    return command;
}

void DeletePendingCommand(PendingCommand* command) {
    CloseHandle(command->done);
    HeapFree(GetProcessHeap(), 0, command);
}

// Gives the line to the main thread's queue; false when it is turned away.
bool Enqueue(PendingCommand* command, HWND* announceTo) {
    QueueLocked locked;
    if (QueueIntake == Intake::Closed || QueueLength >= MaxPendingCommands) {
        return false;
    }
    if (QueueTail != nullptr) {
        QueueTail->next = command;
    } else {
        QueueHead = command;
    }
    QueueTail = command;
    ++QueueLength;
    *announceTo = QueueTarget;
    return true;
}

PendingCommand* Dequeue() {
    QueueLocked locked;
    PendingCommand* command = QueueHead;
    if (command != nullptr) {
        QueueHead = command->next;
        if (QueueHead == nullptr) {
            QueueTail = nullptr;
        }
        --QueueLength;
    }
    return command;
}

void Complete(PendingCommand* command, int result) {
    command->result = result;
    SetEvent(command->done); // the waiting channel thread frees it from here on
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

// A top-level window must go on answering sent messages (broadcasts, DDE, the
// session's end) while its thread waits, so the wait serves them.
void WaitServingSentMessages(HANDLE event) {
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) {
            return;
        }
        if (woken != WAIT_OBJECT_0 + 1) {
            // The line is still queued and must not be freed under the main
            // thread: wait without serving rather than return early.
            WaitForSingleObject(event, INFINITE);
            return;
        }
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

} // namespace

CommandInProgress::CommandInProgress() : outermost(!MainThreadBusy) {
    MainThreadBusy = true;
}

CommandInProgress::~CommandInProgress() {
    if (outermost) {
        MainThreadBusy = false;
        AnnounceIfWaiting(); // lines whose notice came while we were busy
    }
}

void AcceptRemoteCommands(HWND target) {
    PendingCommand* turnedAway = nullptr;
    {
        QueueLocked locked;
        QueueTarget = target;
        if (target != nullptr) {
            QueueIntake = Intake::Accepting;
        } else {
            QueueIntake = Intake::Closed;
            turnedAway = QueueHead;
            QueueHead = QueueTail = nullptr;
            QueueLength = 0;
        }
    }
    while (turnedAway != nullptr) {
        PendingCommand* next = turnedAway->next;
        Complete(turnedAway, 0);
        turnedAway = next;
    }
    AnnounceIfWaiting();
}

void ActOnRemoteCommands() {
    if (MainThreadBusy) {
        return; // announced again when the outer work ends
    }
    PendingCommand* command = Dequeue();
    if (command == nullptr) {
        return; // a stray notice, or one whose line was taken already
    }
    int acted;
    {
        CommandInProgress busy;
        acted = ProcessCommandLine(command->text);
    }
    Complete(command, acted);
}

int OnRemoteCommandLine(int value, const char* text) {
    if (value != 0) {
        return 0;
    }
    PendingCommand* command = NewPendingCommand(text);
    if (command == nullptr) {
        return 0;
    }
    HWND announceTo = nullptr;
    if (!Enqueue(command, &announceTo)) {
        DeletePendingCommand(command);
        return 0;
    }
    if (announceTo != nullptr) {
        PostMessageA(announceTo, RemoteCommandMessage, 0, 0);
    }
    WaitServingSentMessages(command->done);
    const int result = command->result;
    DeletePendingCommand(command);
    return result;
}
