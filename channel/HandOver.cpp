#include "channel/HandOver.h"

#include <cstring>

namespace {

constexpr DWORD PeerSearchIntervalMilliseconds = 20;
// Each question's own limit; the first instance answers at once.
constexpr DWORD QuestionMilliseconds = 1000;
// How often a later start asks: every couple of milliseconds at first, since
// most lines are done within tens of them and a launcher waits for each,
// then less often (a usage box may stay open for minutes).
constexpr DWORD FirstAskMilliseconds = 2;
constexpr DWORD LastAskMilliseconds = 50;

HWND FindFirstInstance(const ChannelNames& names) {
    // Elapsed time, not a sum of requested sleeps: a sleep lasts a whole
    // timer tick at least.
    const DWORD start = GetTickCount();
    for (;;) {
        HWND peer = FindWindowA(names.serverClass, names.windowTitle);
        if (peer != nullptr || GetTickCount() - start >= PeerSearchMilliseconds) {
            return peer;
        }
        Sleep(PeerSearchIntervalMilliseconds);
    }
}

// This program replies at once; a peer that speaks the plain protocol acts
// before it replies, a usage box for as long as the user takes.
Delivery Deliver(HWND peer, const char* text, bool waitsForUsageBox, LRESULT* reply) {
    COPYDATASTRUCT data = {0, static_cast<DWORD>(std::strlen(text)) + 1, const_cast<char*>(text)};
    const UINT limit = waitsForUsageBox ? HandOverLimitMilliseconds : PeerSilenceMilliseconds;
    const DWORD sent = GetTickCount();
    DWORD_PTR result = 0;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageTimeoutA(peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                            limit, &result)) {
        *reply = static_cast<LRESULT>(result);
        return Delivery::Replied;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_TIMEOUT || GetTickCount() - sent >= limit) {
        return Delivery::Lost; // it may still act
    }
    // Refused with the window still there, or sent to a window already gone:
    // nobody took the line. Gone in the middle of it: it may have.
    return IsWindow(peer) || error == ERROR_INVALID_WINDOW_HANDLE ? Delivery::NotTaken
                                                                  : Delivery::Lost;
}

// Asks how the line behind the ticket fared until it is settled;
// OutcomeUnfinished once the first instance has answered nothing for
// PeerSilenceMilliseconds or the time since reached is up.
LRESULT AwaitOutcome(HWND peer, LRESULT ticket, DWORD reached, bool waitsForUsageBox,
                     const ChannelNames& names) {
    DWORD answeredAt = GetTickCount();
    DWORD interval = FirstAskMilliseconds;
    for (;;) {
        DWORD_PTR answer = OutcomeUnknown;
        bool waitsForUser = false;
        if (SendMessageTimeoutA(peer, LineOutcomeMessage, static_cast<WPARAM>(ticket), 0,
                                SMTO_NORMAL, QuestionMilliseconds, &answer)) {
            answeredAt = GetTickCount();
            const auto outcome = static_cast<LRESULT>(answer);
            if (outcome != OutcomeWaiting && outcome != OutcomeShowingUsage) {
                return outcome;
            }
            waitsForUser = outcome == OutcomeShowingUsage && waitsForUsageBox;
        } else if (!IsWindow(peer)) {
            // Made anew after another program destroyed it: the queue, and
            // so the ticket, lives on.
            if (HWND remade = FindWindowA(names.serverClass, names.windowTitle)) {
                peer = remade;
            }
        }
        const DWORD now = GetTickCount();
        if (now - answeredAt >= PeerSilenceMilliseconds ||
            (!waitsForUser && now - reached >= HandOverLimitMilliseconds)) {
            return OutcomeUnfinished;
        }
        Sleep(interval);
        interval = interval * 2 < LastAskMilliseconds ? interval * 2 : LastAskMilliseconds;
    }
}

} // namespace

HandOver JudgeHandOver(Delivery delivery, LRESULT reply, LRESULT outcome) {
    switch (delivery) {
    case Delivery::NotTaken:
        return HandOver::NotDone;
    case Delivery::Lost:
        return HandOver::Unfinished;
    case Delivery::Replied:
        break;
    }
    if (reply == TurnedAwayReply) {
        return HandOver::NotDone;
    }
    if (!IsTagged(reply)) {
        return HandOver::Acted; // a peer that acts before it replies, whatever it replies
    }
    switch (outcome) {
    case OutcomeActed:
        return HandOver::Acted;
    case OutcomeNotActed:
        return HandOver::NotDone;
    default:
        // Unfinished, or the line is no longer known: it was in the running
        // instance's hands, and nobody can say more.
        return HandOver::Unfinished;
    }
}

HandOver HandLineOver(const ChannelNames& names, const char* text, bool waitsForUsageBox) {
    HWND peer = FindFirstInstance(names);
    if (peer == nullptr) {
        return HandOver::NotDone;
    }
    const DWORD reached = GetTickCount();
    LRESULT reply = 0;
    const Delivery delivery = Deliver(peer, text, waitsForUsageBox, &reply);
    LRESULT outcome = OutcomeUnknown;
    if (delivery == Delivery::Replied && IsTagged(reply) && reply != TurnedAwayReply) {
        outcome = AwaitOutcome(peer, reply, reached, waitsForUsageBox, names);
    }
    return JudgeHandOver(delivery, reply, outcome);
}
