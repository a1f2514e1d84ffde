#pragma once
#include "channel/ChannelProtocol.h"

// The book of lines handed over by later starts: the queue of lines waiting
// for the main thread, and a record per ticket of how each fared, which its
// sender asks for until it is settled. It only keeps the rules; the caller
// holds the lock around every call and passes the time (GetTickCount) and
// whether the main thread is hung, so that each rule can be tried at any
// moment. Nothing watches the clock: the rules are applied whenever a line
// arrives or a sender asks, and senders ask until their line is settled.
//
// The rules, in one place:
// - A line is admitted with a new ticket unless the intake is closed, the
//   main thread is hung, MaxWaitingLines wait already, or no record is free.
//   A record is needed while its line waits or is in hand, and while its
//   outcome is settled less than OutcomeKeptMilliseconds ago and not yet
//   collected; any other record is free.
// - Waiting lines are withdrawn, never to be acted on: every one once the
//   main thread has moved nothing (taken or finished no line, nor opened the
//   intake) for NoProgressMilliseconds while they wait, even while it
//   answers, or at once while it is hung; and each that has waited
//   WaitingLimitMilliseconds, so that its sender learns it never started.
// - A line in hand is reported unfinished once it has run for
//   LineInHandMilliseconds, or while the main thread is hung; not while it
//   shows the usage box its sender asked for. It still settles when it ends.
// - A settled outcome (or "unfinished") is collected by the first question
//   after it that carries the key its line came with, which only its sender
//   knows; anyone may read it. A line that came with NoKey is never
//   collected, and the end does not wait for its sender.

// One line while it waits or is in hand; allocated to the length of its text.
struct PendingLine {
    PendingLine* next;
    WORD ticket;
    char text[1];
};

// More lines than this waiting at once are turned away.
constexpr int MaxWaitingLines = 64;
// Twice the queue: a full queue never needs the record of a line still in flight.
constexpr int LineRecordCount = 2 * MaxWaitingLines;
// How long a settled outcome is kept for its sender, and waited for at the end
// (each asks within milliseconds; one that died never will).
constexpr DWORD OutcomeKeptMilliseconds = 2000;
constexpr DWORD NoProgressMilliseconds = 10000;
constexpr DWORD WaitingLimitMilliseconds = 30000;
constexpr DWORD LineInHandMilliseconds = 30000;

enum class LineState : unsigned char { Free, Waiting, Started, Acted, NotActed };
enum class Intake : unsigned char { BeforeLoop, Accepting, Closed };

class LineLedger {
  public:
    // Channel thread: queues a copy of the text, sent with its sender's key;
    // its ticket, or 0 when it is turned away.
    WORD Admit(const char* text, DWORD length, DWORD key, DWORD now, bool hung);
    // Channel thread: one of the Outcome values for whoever asks about a
    // ticket with a key, once the waiting lines are withdrawn as the rules say.
    LRESULT Outcome(LRESULT ticketReply, DWORD key, DWORD now, bool hung);

    // Main thread: lines are taken from now on.
    void Open(DWORD now);
    // Main thread: the oldest waiting line, now in hand; null when none.
    PendingLine* Take(DWORD now);
    // Main thread: the line taken is done with, and freed.
    void Finish(PendingLine* line, bool acted, DWORD now);
    // Main thread: the line in hand shows the usage box its sender asked for.
    void ShowingUsage(WORD ticket, bool showing, DWORD now);
    // Main thread, at the end: turns away every waiting and later line.
    void Close(DWORD now);

    Intake IntakeState() const { return intake; }
    bool HasWaiting() const { return head != nullptr; }
    // Since when the waiting lines have seen nothing move.
    DWORD ProgressAt() const { return progressAt; }
    // Outcomes settled within OutcomeKeptMilliseconds and not yet collected
    // by senders that can.
    bool AwaitsCollection(DWORD now) const;
    // The queue and the records agree.
    bool Consistent() const;

  private:
    struct Record {
        WORD ticket;
        DWORD key; // its sender's
        LineState state;
        bool collected;  // its sender has learnt the settled state
        bool usage;      // in hand, showing the usage box its sender asked for
        DWORD changedAt; // when it was admitted, started or settled
    };
    Record* Find(WORD ticket);
    Record* FreeRecord(DWORD now);
    // Every waiting line, or those that have waited WaitingLimitMilliseconds.
    void Withdraw(bool all, DWORD now);
    PendingLine* Unqueue(LineState state, DWORD now);
    int Waiting() const;

    Record records[LineRecordCount] = {};
    PendingLine* head = nullptr;
    PendingLine* tail = nullptr;
    WORD lastTicket = 0;
    Intake intake = Intake::BeforeLoop;
    DWORD progressAt = 0;
};
