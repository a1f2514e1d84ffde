#pragma once
#include <windows.h>

// What a later start and the first instance say to each other. The plain
// protocol, which earlier versions speak too: the first instance creates the
// mark (this program also holds it for as long as it runs; a plain peer need
// not) and keeps a hidden top-level window of serverClass titled
// windowTitle; a later start sends that window a WM_COPYDATA (wParam 0, the
// text with its terminating zero) and takes any reply as "acted on". Its
// dwData, 0 in the plain protocol and ignored by a plain first instance,
// carries this program's key (below).
struct ChannelNames {
    const char* mark;
    const char* serverClass;
    const char* windowTitle;
};
extern const ChannelNames VelmoraChannelNames;

// This program replies at once instead, with a tagged value: TurnedAwayReply
// (nothing was done and nothing will be) or a ticket for the queued line,
// which the later start then asks about with LineOutcomeMessage until the
// line has an outcome. A peer that replies the plain way may reply anything,
// usually 0 or 1: without the tag above its low word, a reply means "acted on".
constexpr ULONG_PTR ReplyTagWord = 0x564C; // "VL"
constexpr LRESULT Tagged(WORD value) {
    return static_cast<LRESULT>((ReplyTagWord << 16) | value);
}
inline bool IsTagged(LRESULT reply) {
    return (static_cast<ULONG_PTR>(reply) >> 16) == ReplyTagWord;
}
constexpr LRESULT TurnedAwayReply = Tagged(0);

// Sent to the first instance's window: wParam a ticket, lParam the key its
// line came with; the answer one of the Outcome values. Anyone may ask. Only
// a question with the line's key, which only its sender knows, collects a
// settled outcome (its record may then serve another line); any other
// changes nothing.
constexpr UINT LineOutcomeMessage = WM_APP + 1;
// This program's later starts send a random key other than NoKey. A line
// that came with NoKey (from an earlier version's later start, which never
// asks) is never collected: its outcome is kept for its time and then goes.
constexpr DWORD NoKey = 0;
constexpr LRESULT OutcomeUnknown = 0;            // no such ticket, or a peer that is not us
constexpr LRESULT OutcomeWaiting = Tagged(1);    // queued or being acted on: ask again
constexpr LRESULT OutcomeActed = Tagged(2);      // acted on
constexpr LRESULT OutcomeNotActed = Tagged(3);   // withdrawn before it started: it never will
constexpr LRESULT OutcomeUnfinished = Tagged(4); // started, and not finished in time
// Being acted on, and showing the usage box its sender asked for: a sender
// whose own line asks for it waits for the user; another treats it as waiting.
constexpr LRESULT OutcomeShowingUsage = Tagged(5);

// The longest text acted on: no Windows command line is longer.
constexpr DWORD MaxLineText = 32767;
