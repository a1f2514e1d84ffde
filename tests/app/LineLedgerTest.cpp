// The rules of the book of lines handed over, each tried at the moments
// around its limit.
#include "app/LineLedger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr DWORD Opened = 1000;
constexpr char Text[] = "-u360 joy4way";
constexpr DWORD SenderKey = 0x5EC2E7;
constexpr DWORD OtherKey = SenderKey + 1;

class Ledger : public ::testing::Test {
  protected:
    void SetUp() override { ledger.Open(Opened); }
    void TearDown() override { Reset(); }
    void Reset() {
        for (PendingLine* line : inHand) {
            ledger.Finish(line, true, Opened);
        }
        inHand.clear();
        ledger.Close(Opened);
        EXPECT_TRUE(ledger.Consistent());
        ledger = LineLedger();
        ledger.Open(Opened);
    }
    WORD Admit(DWORD now, bool hung = false, DWORD key = SenderKey) {
        const WORD ticket = ledger.Admit(Text, sizeof Text - 1, key, now, hung);
        EXPECT_TRUE(ledger.Consistent()) << "after admitting at " << now;
        return ticket;
    }
    // Takes the oldest line and keeps it in hand; its ticket.
    WORD Take(DWORD now) {
        PendingLine* line = ledger.Take(now);
        EXPECT_TRUE(ledger.Consistent()) << "after taking at " << now;
        if (line == nullptr) {
            return 0;
        }
        inHand.push_back(line);
        return line->ticket;
    }
    void Finish(WORD ticket, bool acted, DWORD now) {
        const auto found = std::find_if(inHand.begin(), inHand.end(), [ticket](PendingLine* line) {
            return line->ticket == ticket;
        });
        ASSERT_NE(found, inHand.end()) << "ticket " << ticket << " is not in hand";
        ledger.Finish(*found, acted, now);
        inHand.erase(found);
    }
    WORD AdmitAndRun(DWORD now, bool acted = true, DWORD key = SenderKey) {
        Admit(now, false, key);
        const WORD ticket = Take(now);
        Finish(ticket, acted, now);
        return ticket;
    }
    LRESULT Ask(WORD ticket, DWORD now, bool hung = false, DWORD key = SenderKey) {
        const LRESULT outcome = ledger.Outcome(Tagged(ticket), key, now, hung);
        EXPECT_TRUE(ledger.Consistent()) << "after asking at " << now;
        return outcome;
    }
    LineLedger ledger;
    std::vector<PendingLine*> inHand;
};

TEST_F(Ledger, EachLineIsTakenInTurnAndItsOutcomeTold) {
    LineLedger early;
    const char bytes[] = "-u360 joy2way -exit";
    constexpr DWORD Counted = 13; // "-u360 joy2way", and not a byte more
    EXPECT_NE(early.Admit(bytes, Counted, SenderKey, Opened, false), 0);
    EXPECT_EQ(early.Take(Opened), nullptr) << "taken before the intake opened";
    early.Open(Opened);
    PendingLine* taken = early.Take(Opened);
    ASSERT_NE(taken, nullptr);
    EXPECT_STREQ(taken->text, "-u360 joy2way");
    early.Finish(taken, true, Opened);

    const WORD acted = Admit(Opened);
    const WORD refused = Admit(Opened);
    EXPECT_EQ(Take(Opened), acted);
    EXPECT_EQ(Ask(acted, Opened), OutcomeWaiting);
    Finish(acted, true, Opened);
    EXPECT_EQ(Take(Opened), refused);
    Finish(refused, false, Opened); // not acted on: no memory for its arguments
    EXPECT_EQ(Ask(acted, Opened), OutcomeActed);
    EXPECT_EQ(Ask(refused, Opened), OutcomeNotActed);
    EXPECT_EQ(ledger.Outcome(TurnedAwayReply, SenderKey, Opened, false), OutcomeUnknown);
    EXPECT_EQ(ledger.Outcome(acted, SenderKey, Opened, false), OutcomeUnknown)
        << "an untagged question";
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

// Every record holds an outcome its sender has not collected: the next line
// has no record unless one of them is collected or kept long enough. Anyone
// may read an outcome; only a question with its line's key collects it.
TEST_F(Ledger, ARecordIsReusedOnlyOnceItsOutcomeIsCollectedOrKeptLongEnough) {
    constexpr DWORD NotAsked = ~DWORD(0);
    const struct {
        DWORD lineKey;
        DWORD askedWith; // about one of the outcomes
        DWORD ageOfOutcomes;
        bool admitted;
    } rows[] = {
        {SenderKey, NotAsked, 0, false},
        {SenderKey, SenderKey, 0, true},
        {SenderKey, OtherKey, 0, false},
        {SenderKey, NoKey, 0, false},
        {NoKey, NoKey, 0, false},
        {SenderKey, NotAsked, OutcomeKeptMilliseconds - 1, false},
        {SenderKey, NotAsked, OutcomeKeptMilliseconds, true},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        Reset();
        std::vector<WORD> tickets;
        for (int i = 0; i < LineRecordCount; ++i) {
            tickets.push_back(AdmitAndRun(Opened, true, rows[row].lineKey));
        }
        if (rows[row].askedWith != NotAsked) {
            EXPECT_EQ(Ask(tickets[LineRecordCount / 2], Opened, false, rows[row].askedWith),
                      OutcomeActed)
                << "row " << row;
        }
        const DWORD now = Opened + rows[row].ageOfOutcomes;
        EXPECT_EQ(Admit(now) != 0, rows[row].admitted) << "row " << row;
        if (!rows[row].admitted) {
            EXPECT_EQ(Ask(tickets[0], now), OutcomeActed) << "row " << row << ": the late question";
        }
    }
}

// The record of a line that shows a usage box stays as long as the box; the
// tickets that come round to it meanwhile are skipped, not turned away.
TEST_F(Ledger, AUsageBoxLeftOpenTurnsNoLineAway) {
    const WORD help = Admit(Opened);
    EXPECT_EQ(Take(Opened), help);
    ledger.ShowingUsage(help, true, Opened);
    constexpr int LinesBehindTheBox = LineRecordCount + 2;
    for (int i = 0; i < LinesBehindTheBox; ++i) {
        const DWORD now = Opened + static_cast<DWORD>(i);
        const WORD ticket = AdmitAndRun(now);
        ASSERT_NE(ticket, 0) << "line " << i << " behind the box was turned away";
        ASSERT_NE(ticket, help) << "line " << i << " took the box's ticket";
        EXPECT_EQ(Ask(ticket, now), OutcomeActed) << "line " << i;
    }
    EXPECT_EQ(Ask(help, Opened + LinesBehindTheBox), OutcomeShowingUsage);
    ledger.ShowingUsage(help, false, Opened + LinesBehindTheBox);
    Finish(help, true, Opened + LinesBehindTheBox);
    EXPECT_EQ(Ask(help, Opened + LinesBehindTheBox), OutcomeActed);
}

TEST_F(Ledger, WaitingLinesAreWithdrawnOnceNothingHasMovedFor10Seconds) {
    const WORD held = Admit(Opened);
    const WORD behind = Admit(Opened);
    const DWORD taken = Opened + 5000;
    EXPECT_EQ(Take(taken), held);
    EXPECT_EQ(Ask(behind, taken + NoProgressMilliseconds - 1), OutcomeWaiting);
    EXPECT_EQ(Ask(behind, taken + NoProgressMilliseconds), OutcomeNotActed);
    EXPECT_FALSE(ledger.HasWaiting());

    // A line that comes to an empty queue has its own 10 seconds.
    const DWORD later = Opened + 60000;
    const WORD fresh = Admit(later);
    EXPECT_EQ(Ask(fresh, later + NoProgressMilliseconds - 1), OutcomeWaiting);
}

// A queue that moves, but too slowly for a line's sender: the line is
// withdrawn before its sender gives up, so that it never runs unannounced.
TEST_F(Ledger, ALineThatWaited30SecondsIsWithdrawnWhileTheQueueMoves) {
    constexpr int Ahead = 40;
    for (int i = 0; i < Ahead; ++i) {
        Admit(Opened);
    }
    const WORD last = Admit(Opened);
    DWORD now = Opened;
    while (now - Opened < WaitingLimitMilliseconds - 1000) {
        now += 1000;
        Finish(Take(now), true, now);
    }
    EXPECT_EQ(Ask(last, Opened + WaitingLimitMilliseconds - 1), OutcomeWaiting);
    EXPECT_EQ(Ask(last, Opened + WaitingLimitMilliseconds), OutcomeNotActed);
    EXPECT_FALSE(ledger.HasWaiting()) << "the lines admitted with it waited as long";
}

TEST_F(Ledger, ALineInHandIsUnfinishedAfter30SecondsUnlessItShowsItsUsageBox) {
    const WORD plain = Admit(Opened);
    EXPECT_EQ(Take(Opened), plain);
    EXPECT_EQ(Ask(plain, Opened + LineInHandMilliseconds - 1), OutcomeWaiting);
    EXPECT_EQ(Ask(plain, Opened + LineInHandMilliseconds), OutcomeUnfinished);
    Finish(plain, true, Opened + LineInHandMilliseconds + 1);
    EXPECT_FALSE(ledger.AwaitsCollection(Opened + LineInHandMilliseconds + 1))
        << "its sender has gone already";

    const DWORD started = Opened + LineInHandMilliseconds + 1;
    const WORD usage = Admit(started);
    EXPECT_EQ(Take(started), usage);
    ledger.ShowingUsage(usage, true, started);
    EXPECT_EQ(Ask(usage, started + 10 * LineInHandMilliseconds), OutcomeShowingUsage);
    const DWORD closed = started + 10 * LineInHandMilliseconds;
    ledger.ShowingUsage(usage, false, closed);
    EXPECT_EQ(Ask(usage, closed + 1), OutcomeWaiting) << "overdue the moment its box closed";
    EXPECT_EQ(Ask(usage, closed + LineInHandMilliseconds), OutcomeUnfinished);
}

TEST_F(Ledger, AHungMainThreadWithdrawsWaitingLinesAndTurnsNewOnesAway) {
    const WORD held = Admit(Opened);
    const WORD behind = Admit(Opened);
    Take(Opened);
    EXPECT_EQ(Ask(behind, Opened + 1), OutcomeWaiting);
    EXPECT_EQ(Ask(behind, Opened + 2, true), OutcomeNotActed);
    EXPECT_EQ(Ask(held, Opened + 2, true), OutcomeUnfinished);
    EXPECT_EQ(Admit(Opened + 2, true), 0);
    EXPECT_NE(Admit(Opened + 3), 0) << "turned away once it came back";
}

TEST_F(Ledger, TheEndTurnsEveryLineAwayAndWaitsOnlyForRecentOutcomes) {
    const struct {
        DWORD settledBeforeEnd;
        DWORD lineKey;
        bool collected;
        bool awaits;
    } rows[] = {
        {0, SenderKey, false, true},
        {OutcomeKeptMilliseconds - 1, SenderKey, false, true},
        {OutcomeKeptMilliseconds, SenderKey, false, false},
        {0, SenderKey, true, false},
        {0, NoKey, false, false}, // its sender will not ask
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        Reset();
        const WORD ticket = AdmitAndRun(Opened, true, rows[row].lineKey);
        if (rows[row].collected) {
            Ask(ticket, Opened);
        }
        const DWORD end = Opened + rows[row].settledBeforeEnd;
        ledger.Close(end);
        EXPECT_EQ(ledger.AwaitsCollection(end), rows[row].awaits) << "row " << row;
    }
    Reset();
    const WORD waiting = Admit(Opened);
    ledger.Close(Opened);
    EXPECT_EQ(Ask(waiting, Opened), OutcomeNotActed);
    EXPECT_EQ(Admit(Opened), 0) << "a line taken after the end";
}

} // namespace
