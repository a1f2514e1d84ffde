#include "channel/HandOver.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr DWORD PeerSearchIntervalMilliseconds = 20;
// Each question's own limit; the first instance answers at once.
constexpr DWORD QuestionMilliseconds = 1000;
// How often a later start asks: every couple of milliseconds at first, since
// most lines are done within tens of them and a launcher waits for each,
// then less often (a usage box may stay open for minutes), but still often
// enough that a first call, which waits through the whole startup of the
// instance it started, learns its outcome soon after.
constexpr DWORD FirstAskMilliseconds = 2;
constexpr DWORD LastAskMilliseconds = 20;

// What only this start knows: only its questions collect its line's
// outcome, so no other program can take that from it. Looked up here rather
// than imported, so that only a start that hands over loads what the
// system's generator needs.
DWORD NewKey() {
    using Generate = BOOLEAN(WINAPI*)(void* buffer, ULONG bytes); // RtlGenRandom
    HMODULE advapi32 = GetModuleHandleA("advapi32.dll");
    const FARPROC found =
        advapi32 != nullptr ? GetProcAddress(advapi32, "SystemFunction036") : nullptr;
    DWORD key = NoKey;
    if (found != nullptr) {
        reinterpret_cast<Generate>(reinterpret_cast<void*>(found))(&key, sizeof key);
    }
    return key != NoKey ? key : NoKey + 1;
}

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
// PeerSilenceMilliseconds or the time since reached is up. No question or
// pause outlasts that time, so the start ends within it.
LRESULT AwaitOutcome(HWND peer, LRESULT ticket, DWORD key, DWORD reached, bool waitsForUsageBox,
                     const ChannelNames& names) {
    DWORD peerProcess = 0;
    GetWindowThreadProcessId(peer, &peerProcess);
    DWORD answeredAt = GetTickCount();
    DWORD interval = FirstAskMilliseconds;
    bool waitsForUser = false;
    for (;;) {
        const DWORD now = GetTickCount();
        if (now - answeredAt >= PeerSilenceMilliseconds ||
            (!waitsForUser && now - reached >= HandOverLimitMilliseconds)) {
            return OutcomeUnfinished;
        }
        const DWORD left =
            waitsForUser ? QuestionMilliseconds : HandOverLimitMilliseconds - (now - reached);
        DWORD_PTR answer = OutcomeUnknown;
        // The key's 32 bits, read back as such whatever the bitness of either side.
        if (SendMessageTimeoutA(peer, LineOutcomeMessage, static_cast<WPARAM>(ticket),
                                static_cast<LPARAM>(key), SMTO_NORMAL,
                                std::min(QuestionMilliseconds, left), &answer)) {
            answeredAt = GetTickCount();
            const auto outcome = static_cast<LRESULT>(answer);
            if (outcome != OutcomeWaiting && outcome != OutcomeShowingUsage) {
                return outcome;
            }
            waitsForUser = outcome == OutcomeShowingUsage && waitsForUsageBox;
        } else {
            waitsForUser = false; // only while the instance answers
            // Made anew after another program destroyed it: the queue, and
            // so the ticket, lives on. Any program can make a window of that
            // class and title; only the first instance's own process counts.
            HWND remade =
                IsWindow(peer) ? nullptr : FindWindowA(names.serverClass, names.windowTitle);
            DWORD remadeProcess = 0;
            if (remade != nullptr && GetWindowThreadProcessId(remade, &remadeProcess) != 0 &&
                remadeProcess == peerProcess) {
                peer = remade;
            }
        }
        const DWORD spent = GetTickCount() - now;
        Sleep(spent < left ? std::min(interval, left - spent) : 0);
        interval = std::min(interval * 2, LastAskMilliseconds);
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
    const DWORD key = NewKey();
    COPYDATASTRUCT data = {key, static_cast<DWORD>(std::strlen(text)) + 1, const_cast<char*>(text)};
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
    return JudgeHandOver(answer,
                         ticket ? AwaitOutcome(peer, answer, key, reached, waitsForUsageBox, names)
                                : OutcomeUnknown);
}
