#include "app/LineLedger.h"

#include <cstring>

namespace {

bool Settled(LineState state) {
    return state == LineState::Acted || state == LineState::NotActed;
}

} // namespace

LineLedger::Record* LineLedger::Find(WORD ticket) {
    for (Record& record : records) {
        if (record.state != LineState::Free && record.ticket == ticket) {
            return &record;
        }
    }
    return nullptr;
}

LineLedger::Record* LineLedger::FreeRecord(DWORD now) {
    for (Record& record : records) {
        if (record.state == LineState::Free ||
            (Settled(record.state) &&
             (record.collected || now - record.changedAt >= OutcomeKeptMilliseconds))) {
            return &record;
        }
    }
    return nullptr;
}

WORD LineLedger::Admit(const char* text, DWORD length, DWORD key, DWORD now, bool hung) {
    Withdraw(hung || now - progressAt >= NoProgressMilliseconds, now);
    Record* record = FreeRecord(now);
    if (intake == Intake::Closed || hung || Waiting() >= MaxWaitingLines || record == nullptr) {
        return 0;
    }
    auto* line =
        static_cast<PendingLine*>(HeapAlloc(GetProcessHeap(), 0, sizeof(PendingLine) + length));
    if (line == nullptr) {
        return 0;
    }
    std::memcpy(line->text, text, length);
    line->text[length] = '\0';
    line->next = nullptr;
    // 0 is no ticket; one still on record (a usage box open for long) is skipped.
    do {
        ++lastTicket;
    } while (lastTicket == 0 || Find(lastTicket) != nullptr);
    if (head == nullptr) {
        progressAt = now; // the first waiting line: nothing has had to move for it yet
    }
    *record = {lastTicket, key, LineState::Waiting, false, false, now};
    line->ticket = lastTicket;
    if (tail != nullptr) {
        tail->next = line;
    } else {
        head = line;
    }
    tail = line;
    return lastTicket;
}

// The oldest waiting line, out of the queue, its record now in state.
PendingLine* LineLedger::Unqueue(LineState state, DWORD now) {
    PendingLine* line = head;
    head = line->next;
    if (head == nullptr) {
        tail = nullptr;
    }
    line->next = nullptr;
    if (Record* record = Find(line->ticket)) {
        record->state = state;
        record->changedAt = now;
    }
    return line;
}

void LineLedger::Withdraw(bool all, DWORD now) {
    while (head != nullptr) {
        const Record* record = Find(head->ticket);
        if (!all && record != nullptr && now - record->changedAt < WaitingLimitMilliseconds) {
            break; // the oldest has time left, and so have the rest
        }
        HeapFree(GetProcessHeap(), 0, Unqueue(LineState::NotActed, now));
    }
}

LRESULT LineLedger::Outcome(LRESULT ticketReply, DWORD key, DWORD now, bool hung) {
    Withdraw(hung || now - progressAt >= NoProgressMilliseconds, now);
    Record* record =
        IsTagged(ticketReply) && LOWORD(ticketReply) != 0 ? Find(LOWORD(ticketReply)) : nullptr;
    if (record == nullptr) {
        return OutcomeUnknown;
    }
    LRESULT outcome = OutcomeNotActed;
    switch (record->state) {
    case LineState::Waiting:
        return OutcomeWaiting;
    case LineState::Started:
        if (!hung && (record->usage || now - record->changedAt < LineInHandMilliseconds)) {
            return record->usage ? OutcomeShowingUsage : OutcomeWaiting;
        }
        outcome = OutcomeUnfinished; // its sender goes, told so
        break;
    case LineState::Acted:
        outcome = OutcomeActed;
        break;
    default:
        break;
    }
    if (key != NoKey && key == record->key) {
        record->collected = true;
    }
    return outcome;
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
    progressAt = now;
    return Unqueue(LineState::Started, now);
}

void LineLedger::Finish(PendingLine* line, bool acted, DWORD now) {
    Record* record = Find(line->ticket);
    if (record != nullptr && record->state == LineState::Started) {
        record->state = acted ? LineState::Acted : LineState::NotActed;
        record->usage = false;
        record->changedAt = now;
        // A sender told "unfinished" has gone: collected stays as it was.
    }
    progressAt = now;
    HeapFree(GetProcessHeap(), 0, line);
}

void LineLedger::ShowingUsage(WORD ticket, bool showing, DWORD now) {
    Record* record = Find(ticket);
    if (record != nullptr && record->state == LineState::Started) {
        record->usage = showing;
        record->changedAt = now; // its time in hand counts from the box's end
    }
}

void LineLedger::Close(DWORD now) {
    intake = Intake::Closed;
    Withdraw(true, now);
}

bool LineLedger::AwaitsCollection(DWORD now) const {
    for (const Record& record : records) {
        if (Settled(record.state) && !record.collected && record.key != NoKey &&
            now - record.changedAt < OutcomeKeptMilliseconds) {
            return true;
        }
    }
    return false;
}

int LineLedger::Waiting() const {
    int count = 0;
    for (const Record& record : records) {
        count += record.state == LineState::Waiting ? 1 : 0;
    }
    return count;
}

bool LineLedger::Consistent() const {
    int queued = 0;
    const PendingLine* last = nullptr;
    for (const PendingLine* line = head; line != nullptr; line = line->next, ++queued) {
        last = line;
    }
    return queued == Waiting() && last == tail;
}
