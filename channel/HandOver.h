#pragma once
#include "channel/ChannelProtocol.h"

// How a later start's hand-over ended.
enum class HandOver {
    Acted,      // the running instance acted on the line
    NotDone,    // nothing was done and nothing will be
    Unfinished, // the running instance fell silent or ran out of time with the line in its hands
};

// The verdict once the first instance replied: from the reply and the last
// outcome learnt (OutcomeUnfinished when the sender stopped asking).
HandOver JudgeHandOver(LRESULT reply, LRESULT outcome);

// How long a later start looks for the first instance's window, which may
// still be in the making when both start together,
constexpr DWORD PeerSearchMilliseconds = 5000;
// and a first call for the window of the instance it started, while that
// process lives: a cabinet that is still logging on starts programs slowly.
constexpr DWORD StartedInstanceMilliseconds = 30000;
// A later start gives up on a first instance that has answered nothing for this long,
constexpr DWORD PeerSilenceMilliseconds = 5000;
// and, however well it answers, ends within this long of reaching it, its
// last question included (unless its own line shows the usage box it asked
// for): the first instance settles every line well before.
constexpr DWORD HandOverLimitMilliseconds = 35000;

// A later start's whole hand-over, on its own main thread: finds the first
// instance's window, sends it the text and asks how the line fared until it
// has an outcome, the first instance falls silent or the time is up.
// waitsForUsageBox: the line asks for the usage box, which waits for the user.
// started: the instance this start started for its line, or null.
HandOver HandLineOver(const ChannelNames& names, const char* text, bool waitsForUsageBox,
                      HANDLE started = nullptr);
