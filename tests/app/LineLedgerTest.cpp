// The rules of the forwarded lines' book, each tried at the moments around
// its limit.
#include "app/LineLedger.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

constexpr DWORD Opened = 1000;

class Ledger : public ::testing::Test {
  protected:
    void SetUp() override { ledger.Open(Opened); }
    void TearDown() override { FreePendingLines(ledger.Close(Opened)); }
    WORD Admit(DWORD now) {
        PendingLine* line = NewPendingLine("-u360 joy4way");
        const WORD ticket = ledger.Admit(line, now);
        if (ticket == 0) {
            FreePendingLines(line); // turned away: still ours
        }
        return ticket;
    }
    // Takes the oldest line and leaves it in hand; its ticket.
    WORD Take(DWORD now) {
        PendingLine* line = ledger.Take(now);
        const WORD ticket = line != nullptr ? line->ticket : 0;
        FreePendingLines(line);
        return ticket;
    }
    WORD AdmitAndRun(DWORD now, bool acted = true) {
        Admit(now);
        const WORD ticket = Take(now);
        ledger.Finish(ticket, acted, now);
        return ticket;
    }
    LRESULT Ask(WORD ticket, DWORD now) { return ledger.Outcome(Tagged(ticket), now); }
    LineLedger ledger;
};

TEST_F(Ledger, EachLineIsTakenInTurnAndItsOutcomeTold) {
    LineLedger closed;
    PendingLine* early = NewPendingLine("-exit");
    const WORD first = closed.Admit(early, Opened);
    EXPECT_NE(first, 0);
    EXPECT_EQ(closed.Take(Opened), nullptr) << "taken before the intake opened";
    closed.Open(Opened);
    PendingLine* taken = closed.Take(Opened);
    EXPECT_EQ(taken, early);
    FreePendingLines(taken);

    const WORD acted = Admit(Opened);
    const WORD refused = Admit(Opened);
    EXPECT_EQ(Take(Opened), acted);
    EXPECT_EQ(Ask(acted, Opened), OutcomeWaiting);
    ledger.Finish(acted, true, Opened);
    EXPECT_EQ(Take(Opened), refused);
    ledger.Finish(refused, false, Opened); // not acted on: no memory for its arguments
    EXPECT_EQ(Ask(acted, Opened), OutcomeActed);
    EXPECT_EQ(Ask(refused, Opened), OutcomeNotActed);
    EXPECT_EQ(ledger.Outcome(TurnedAwayReply, Opened), OutcomeUnknown);
    EXPECT_EQ(ledger.Outcome(acted, Opened), OutcomeUnknown) << "an untagged question";
    EXPECT_EQ(Ask(static_cast<WORD>(refused + 1), Opened), OutcomeUnknown)
        << "a ticket never given";
}

TEST_F(Ledger, AFullQueueTurnsLinesAwayUntilOneIsTaken) {
    for (int i = 0; i < MaxWaitingLines; ++i) {
        ASSERT_NE(Admit(Opened), 0) << "line " << i;
    }
    EXPECT_EQ(Admit(Opened), 0);
    const WORD next = Take(Opened);
    EXPECT_EQ(Admit(Opened), static_cast<WORD>(next + MaxWaitingLines))
        << "a turned-away line used up a ticket";
}

// Ticket 1 and ticket 1 + LineRecordCount share a record.
TEST_F(Ledger, ARecordIsReusedOnlyOnceItsOutcomeIsCollectedOrKeptLongEnough) {
    const struct {
        bool firstInHand;
        bool collected;
        DWORD ageOfOutcome;
        bool reused;
    } rows[] = {
        {false, true, 0, true},
        {false, false, 0, false},
        {false, false, OutcomeKeptMilliseconds - 1, false},
        {false, false, OutcomeKeptMilliseconds, true},
        {true, false, 10 * OutcomeKeptMilliseconds, false},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        ledger = LineLedger();
        ledger.Open(Opened);
        WORD first = 0;
        if (rows[row].firstInHand) {
            first = Admit(Opened);
            Take(Opened);
        } else {
            first = AdmitAndRun(Opened);
            if (rows[row].collected) {
                Ask(first, Opened);
            }
        }
        for (int i = 1; i < LineRecordCount; ++i) {
            Ask(AdmitAndRun(Opened), Opened);
        }
        const DWORD now = Opened + rows[row].ageOfOutcome;
        const WORD reuse = Admit(now);
        EXPECT_EQ(reuse != 0, rows[row].reused) << "row " << row;
        if (!rows[row].reused && !rows[row].firstInHand) {
            EXPECT_EQ(Ask(first, now), OutcomeActed) << "row " << row << ": the late question";
        }
    }
}

TEST_F(Ledger, WaitingLinesAreWithdrawnOnceNothingHasMovedFor10Seconds) {
    const WORD held = Admit(Opened);
    const WORD behind = Admit(Opened);
    EXPECT_EQ(Take(Opened + 5000), held);
    for (DWORD at = Opened + 5000; at < Opened + 5000 + NoProgressMilliseconds; at += 1000) {
        EXPECT_EQ(ledger.Probed(true, at, at), nullptr) << "answering is not moving";
        EXPECT_EQ(ledger.WithdrawStalled(at), nullptr) << "at " << at;
    }
    PendingLine* withdrawn = ledger.WithdrawStalled(Opened + 5000 + NoProgressMilliseconds);
    ASSERT_NE(withdrawn, nullptr);
    EXPECT_EQ(withdrawn->ticket, behind);
    EXPECT_EQ(withdrawn->next, nullptr);
    FreePendingLines(withdrawn);
    EXPECT_EQ(Ask(behind, Opened + 15000), OutcomeNotActed);

    // A line that comes to an empty queue has its own 10 seconds.
    const DWORD later = Opened + 60000;
    const WORD fresh = Admit(later);
    EXPECT_EQ(ledger.WithdrawStalled(later + NoProgressMilliseconds - 1), nullptr);
    EXPECT_EQ(Ask(fresh, later), OutcomeWaiting);
}

TEST_F(Ledger, ALineInHandIsUnfinishedAfter30SecondsUnlessItShowsItsUsageBox) {
    const WORD plain = Admit(Opened);
    const WORD usage = Admit(Opened);
    EXPECT_EQ(Take(Opened), plain);
    EXPECT_EQ(Ask(plain, Opened + LineInHandMilliseconds - 1), OutcomeWaiting);
    EXPECT_EQ(Ask(plain, Opened + LineInHandMilliseconds), OutcomeUnfinished);
    ledger.Finish(plain, true, Opened + LineInHandMilliseconds + 1);
    EXPECT_FALSE(ledger.AwaitsCollection(Opened + LineInHandMilliseconds + 1))
        << "its sender has gone already";

    const DWORD started = Opened + 40000;
    EXPECT_EQ(Take(started), usage);
    ledger.ShowingUsage(usage, true, started);
    EXPECT_EQ(Ask(usage, started + 10 * LineInHandMilliseconds), OutcomeShowingUsage);
    const DWORD closed = started + 10 * LineInHandMilliseconds;
    ledger.ShowingUsage(usage, false, closed);
    EXPECT_EQ(Ask(usage, closed + 1), OutcomeWaiting) << "overdue the moment its box closed";
    EXPECT_EQ(Ask(usage, closed + LineInHandMilliseconds), OutcomeUnfinished);
}

TEST_F(Ledger, ASilentMainThreadWithdrawsWaitingLinesAndTurnsNewOnesAway) {
    const WORD held = Admit(Opened);
    const WORD behind = Admit(Opened);
    Take(Opened);
    EXPECT_EQ(ledger.Probed(false, Opened, Opened + 1000), nullptr);
    EXPECT_EQ(ledger.Probed(false, Opened + 4000, Opened + MainThreadSilenceMilliseconds - 1),
              nullptr)
        << "silence counts from the first unanswered probe";
    PendingLine* withdrawn =
        ledger.Probed(false, Opened + 5000, Opened + MainThreadSilenceMilliseconds);
    ASSERT_NE(withdrawn, nullptr);
    EXPECT_EQ(withdrawn->ticket, behind);
    FreePendingLines(withdrawn);
    EXPECT_EQ(Ask(held, Opened + 5000), OutcomeUnfinished);
    EXPECT_EQ(Admit(Opened + 5000), 0);
    ledger.Finish(held, true, Opened + 6000); // it runs again
    EXPECT_NE(Admit(Opened + 6000), 0);
    EXPECT_EQ(ledger.Probed(false, Opened + 6500, Opened + 7000), nullptr)
        << "the silence before it ran again still counted";
}

TEST_F(Ledger, TheEndTurnsEveryLineAwayAndWaitsOnlyForRecentOutcomes) {
    const struct {
        DWORD settledBeforeEnd;
        bool collected;
        bool awaits;
    } rows[] = {
        {0, false, true},
        {OutcomeCollectionMilliseconds - 1, false, true},
        {OutcomeCollectionMilliseconds, false, false},
        {0, true, false},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        LineLedger book;
        book.Open(Opened);
        PendingLine* line = NewPendingLine("-exit");
        const WORD ticket = book.Admit(line, Opened);
        FreePendingLines(book.Take(Opened));
        book.Finish(ticket, true, Opened);
        if (rows[row].collected) {
            book.Outcome(Tagged(ticket), Opened);
        }
        const DWORD end = Opened + rows[row].settledBeforeEnd;
        EXPECT_EQ(book.Close(end), nullptr) << "row " << row;
        EXPECT_EQ(book.AwaitsCollection(end), rows[row].awaits) << "row " << row;
    }
    const WORD waiting = Admit(Opened);
    PendingLine* withdrawn = ledger.Close(Opened);
    ASSERT_NE(withdrawn, nullptr);
    FreePendingLines(withdrawn);
    EXPECT_EQ(Ask(waiting, Opened), OutcomeNotActed);
    EXPECT_EQ(Admit(Opened), 0) << "a line taken after the end";
}

} // namespace
