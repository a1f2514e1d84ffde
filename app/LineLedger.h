#pragma once
#include "channel/InstanceChannel.h"

#include <windows.h>

// The book of forwarded command lines: the queue of lines waiting for the
// main thread, and a record per ticket of how each line fared, which its
// sender asks for until it is settled. It only keeps the rules; the caller
// holds the lock around every call and passes the time (GetTickCount), so
// that each rule can be tried at any moment.
//
// The rules, in one place:
// - A line is admitted with the next ticket unless the intake is closed, the
//   main thread was found silent, MaxWaitingLines wait already, or the
//   ticket's record is still needed: its line in flight, or its outcome
//   settled less than OutcomeKeptMilliseconds ago and not yet collected.
// - Waiting lines are withdrawn, never to be acted on, once the main thread
//   has moved nothing (taken or finished no line, nor opened the intake) for
//   NoProgressMilliseconds while they wait, even while it answers; or at once
//   when it has answered no probe for MainThreadSilenceMilliseconds.
// - A line in hand is reported unfinished once it has run for
//   LineInHandMilliseconds, or the main thread was found silent; not while
//   it shows the usage box its sender asked for. It still settles when it ends.
// - A settled outcome is collected by the first question after it.

// One forwarded line while it waits; allocated to the length of its text.
struct PendingLine {
    PendingLine* next;
    WORD ticket;
    char text[1];
};
// A copy of text in a new line, or null when there is no memory.
PendingLine* NewPendingLine(const char* text);
// Frees a chain of lines.
void FreePendingLines(PendingLine* first);

// More lines than this waiting at once are turned away.
constexpr int MaxWaitingLines = 64;
// Records are reused in ticket order; twice the queue, so that a full queue
// never needs the record of a line still in flight.
constexpr int LineRecordCount = 2 * MaxWaitingLines;
constexpr DWORD OutcomeKeptMilliseconds = 2000;
constexpr DWORD NoProgressMilliseconds = 10000;
constexpr DWORD LineInHandMilliseconds = 30000;
// A main thread that answers no probe for this long is silent.
constexpr DWORD MainThreadSilenceMilliseconds = 5000;
// The end of the program waits for the senders of lines settled this
// recently (each asks within milliseconds; one that died never will).
constexpr DWORD OutcomeCollectionMilliseconds = 1000;

enum class LineState : unsigned char { Free, Waiting, Started, Acted, NotActed };
enum class Intake : unsigned char { BeforeLoop, Accepting, Closed };

class LineLedger {
  public:
    // Channel thread: queues the line and gives its ticket; 0 when it is
    // turned away (the line stays the caller's).
    WORD Admit(PendingLine* line, DWORD now);
    // Channel thread: one of the Outcome replies for a ticket's sender.
    LRESULT Outcome(LRESULT ticketReply, DWORD now);
    // Channel thread: the waiting lines once the main thread has moved
    // nothing for NoProgressMilliseconds; the caller frees them.
    PendingLine* WithdrawStalled(DWORD now);
    // Channel thread: whether a probe of the main thread sent at sentAt was
    // answered. Once it has gone MainThreadSilenceMilliseconds unanswered,
    // every waiting line is withdrawn (given back for the caller to free) and
    // new lines are turned away, until it answers or finishes a line.
    PendingLine* Probed(bool answered, DWORD sentAt, DWORD now);

    // Main thread: lines are taken from now on.
    void Open(DWORD now);
    // Main thread: the oldest waiting line, now in hand; null when none.
    PendingLine* Take(DWORD now);
    void Finish(WORD ticket, bool acted, DWORD now);
    // Main thread: the line in hand shows the usage box its sender asked for.
    void ShowingUsage(WORD ticket, bool showing, DWORD now);
    // Main thread, at the end: turns away every waiting and later line; the
    // withdrawn lines, for the caller to free.
    PendingLine* Close(DWORD now);

    Intake IntakeState() const { return intake; }
    bool HasWaiting() const { return head != nullptr; }
    // Lines waiting or in hand, or a silent main thread: worth watching.
    bool NeedsWatching() const { return head != nullptr || inHand > 0 || silent; }
    // Since when the waiting lines have seen nothing move.
    DWORD StalledSince() const { return progressAt; }
    // Outcomes settled within OutcomeCollectionMilliseconds and not yet collected.
    bool AwaitsCollection(DWORD now) const;

  private:
    struct Record {
        WORD ticket;
        LineState state;
        bool collected;  // its sender has learnt the settled state
        bool usage;      // in hand, showing the usage box its sender asked for
        DWORD changedAt; // when it was admitted, started or settled
    };
    Record& RecordOf(WORD ticket) { return records[ticket % LineRecordCount]; }
    bool Needed(const Record& record, DWORD now) const;
    PendingLine* WithdrawAll(DWORD now);
    void Settle(Record& record, LineState state, DWORD now);

    Record records[LineRecordCount] = {};
    PendingLine* head = nullptr;
    PendingLine* tail = nullptr;
    int waiting = 0;
    int inHand = 0;
    WORD lastTicket = 0;
    Intake intake = Intake::BeforeLoop;
    bool silent = false;
    bool unanswered = false; // a probe went unanswered since unansweredSince
    DWORD unansweredSince = 0;
    DWORD progressAt = 0;
};
