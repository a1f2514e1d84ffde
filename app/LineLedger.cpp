#include "app/LineLedger.h"

#include <cstring>

PendingLine* NewPendingLine(const char* text) {
    const std::size_t length = std::strlen(text);
    auto* line =
        static_cast<PendingLine*>(HeapAlloc(GetProcessHeap(), 0, sizeof(PendingLine) + length));
    if (line != nullptr) {
        line->next = nullptr;
        line->ticket = 0;
        std::memcpy(line->text, text, length + 1);
    }
    return line;
}

void FreePendingLines(PendingLine* first) {
    while (first != nullptr) {
        PendingLine* next = first->next;
        HeapFree(GetProcessHeap(), 0, first);
        first = next;
    }
}

bool LineLedger::Needed(const Record& record, DWORD now) const {
    switch (record.state) {
    case LineState::Waiting:
    case LineState::Started:
        return true;
    case LineState::Acted:
    case LineState::NotActed:
        return !record.collected && now - record.changedAt < OutcomeKeptMilliseconds;
    default:
        return false;
    }
}

WORD LineLedger::Admit(PendingLine* line, DWORD now) {
    WORD ticket = static_cast<WORD>(lastTicket + 1);
    if (ticket == 0) {
        ticket = 1; // 0 is no ticket: the turned-away reply
    }
    Record& record = RecordOf(ticket);
    if (intake == Intake::Closed || silent || waiting >= MaxWaitingLines || Needed(record, now)) {
        return 0;
    }
    if (!NeedsWatching()) {
        unanswered = false; // nothing was in its hands: no silence to go on counting
    }
    if (head == nullptr) {
        progressAt = now; // the first waiting line: nothing has had to move for it yet
    }
    lastTicket = ticket;
    record = {ticket, LineState::Waiting, false, false, now};
    line->ticket = ticket;
    line->next = nullptr;
    if (tail != nullptr) {
        tail->next = line;
    } else {
        head = line;
    }
    tail = line;
    ++waiting;
    return ticket;
}

LRESULT LineLedger::Outcome(LRESULT ticketReply, DWORD now) {
    if (!IsTagged(ticketReply)) {
        return OutcomeUnknown;
    }
    const WORD ticket = LOWORD(ticketReply);
    Record& record = RecordOf(ticket);
    if (ticket == 0 || record.ticket != ticket) {
        return OutcomeUnknown;
    }
    switch (record.state) {
    case LineState::Waiting:
        return OutcomeWaiting;
    case LineState::Started:
        if (silent || (!record.usage && now - record.changedAt >= LineInHandMilliseconds)) {
            record.collected = true;
            return OutcomeUnfinished;
        }
        return record.usage ? OutcomeShowingUsage : OutcomeWaiting;
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

void LineLedger::Settle(Record& record, LineState state, DWORD now) {
    record.state = state;
    record.usage = false;
    record.changedAt = now;
    // A sender told "unfinished" has gone: collected stays as it was.
}

PendingLine* LineLedger::WithdrawAll(DWORD now) {
    for (PendingLine* line = head; line != nullptr; line = line->next) {
        Settle(RecordOf(line->ticket), LineState::NotActed, now);
    }
    PendingLine* withdrawn = head;
    head = tail = nullptr;
    waiting = 0;
    return withdrawn;
}

PendingLine* LineLedger::WithdrawStalled(DWORD now) {
    if (head == nullptr || now - progressAt < NoProgressMilliseconds) {
        return nullptr;
    }
    return WithdrawAll(now);
}

PendingLine* LineLedger::Probed(bool answered, DWORD sentAt, DWORD now) {
    if (answered) {
        silent = false;
        unanswered = false;
        return nullptr;
    }
    if (!unanswered) {
        unanswered = true;
        unansweredSince = sentAt;
    }
    if (silent || now - unansweredSince < MainThreadSilenceMilliseconds) {
        return nullptr;
    }
    silent = true;
    return WithdrawAll(now);
}

void LineLedger::Open(DWORD now) {
    if (intake == Intake::BeforeLoop) {
        intake = Intake::Accepting;
        progressAt = now;
    }
}

PendingLine* LineLedger::Take(DWORD now) {
    if (intake != Intake::Accepting || head == nullptr) {
        return nullptr;
    }
    PendingLine* line = head;
    head = line->next;
    if (head == nullptr) {
        tail = nullptr;
    }
    line->next = nullptr;
    --waiting;
    Record& record = RecordOf(line->ticket);
    record.state = LineState::Started;
    record.changedAt = now;
    ++inHand;
    progressAt = now;
    return line;
}

void LineLedger::Finish(WORD ticket, bool acted, DWORD now) {
    Record& record = RecordOf(ticket);
    if (record.ticket != ticket || record.state != LineState::Started) {
        return;
    }
    Settle(record, acted ? LineState::Acted : LineState::NotActed, now);
    --inHand;
    progressAt = now;
    silent = false; // it runs again
    unanswered = false;
}

void LineLedger::ShowingUsage(WORD ticket, bool showing, DWORD now) {
    Record& record = RecordOf(ticket);
    if (record.ticket == ticket && record.state == LineState::Started) {
        record.usage = showing;
        record.changedAt = now; // its time in hand counts from the box's end
    }
}

PendingLine* LineLedger::Close(DWORD now) {
    intake = Intake::Closed;
    return WithdrawAll(now);
}

bool LineLedger::AwaitsCollection(DWORD now) const {
    for (const Record& record : records) {
        if ((record.state == LineState::Acted || record.state == LineState::NotActed) &&
            !record.collected && now - record.changedAt < OutcomeCollectionMilliseconds) {
            return true;
        }
    }
    return false;
}
