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

HWND FindFirstInstance(const ChannelNames& names, HANDLE started) {
    // Elapsed time, not a sum of requested sleeps: a sleep lasts a whole
    // timer tick at least.
    const DWORD start = GetTickCount();
    const DWORD limit = started != nullptr ? StartedInstanceMilliseconds : PeerSearchMilliseconds;
    for (;;) {
        HWND peer = FindWindowA(names.serverClass, names.windowTitle);
        if (peer != nullptr || GetTickCount() - start >= limit) {
            return peer;
        }
        // The instance started for this line ended without a window of its
        // own: it could not run, or another start's instance won the mark
        // and it handed over to that one, whose window then exists.
        if (started != nullptr &&
            WaitForSingleObject(started, PeerSearchIntervalMilliseconds) == WAIT_OBJECT_0) {
            return FindWindowA(names.serverClass, names.windowTitle);
        }
        if (started == nullptr) {
            Sleep(PeerSearchIntervalMilliseconds);
        }
    }
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

HandOver JudgeHandOver(LRESULT reply, LRESULT outcome) {
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

HandOver HandLineOver(const ChannelNames& names, const char* text, bool waitsForUsageBox,
                      HANDLE started) {
    HWND peer = FindFirstInstance(names, started);
    if (peer == nullptr) {
        return HandOver::NotDone;
    }
    // This program replies at once; a peer that speaks the plain protocol
    // acts before it replies, a usage box for as long as the user takes.
    COPYDATASTRUCT data = {0, static_cast<DWORD>(std::strlen(text)) + 1, const_cast<char*>(text)};
    const UINT limit = waitsForUsageBox ? HandOverLimitMilliseconds : PeerSilenceMilliseconds;
    const DWORD reached = GetTickCount();
    DWORD_PTR reply = 0;
    SetLastError(ERROR_SUCCESS);
    if (!SendMessageTimeoutA(peer, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL,
                             limit, &reply)) {
        // Refused with the window still there, or sent to a window already
        // gone: nobody took the line. Timed out, or gone in the middle of
        // it: it may still act.
        const DWORD error = GetLastError();
        const bool taken = error == ERROR_TIMEOUT || GetTickCount() - reached >= limit ||
                           (!IsWindow(peer) && error != ERROR_INVALID_WINDOW_HANDLE);
        return taken ? HandOver::Unfinished : HandOver::NotDone;
    }
    const auto answer = static_cast<LRESULT>(reply);
    const bool ticket = IsTagged(answer) && answer != TurnedAwayReply;
    return JudgeHandOver(answer, ticket
                                     ? AwaitOutcome(peer, answer, reached, waitsForUsageBox, names)
                                     : OutcomeUnknown);
}
