#pragma once
#include "channel/ChannelProtocol.h"

// The first instance's side of the hand-over: a thread of its own with the
// hidden window that later starts find, so that they are answered whatever
// the main thread is doing.
struct ChannelHandlers {
    // A line arrived: its bytes, which are the sender's only during the call,
    // and its sender's key. The reply: a ticket, or TurnedAwayReply.
    LRESULT (*line)(const char* text, DWORD length, DWORD key);
    // Someone asks how the line behind a ticket fared, with the key it gives:
    // one of the Outcome values.
    LRESULT (*outcome)(LRESULT ticket, DWORD key);
};

// Starts the channel thread and waits until its window exists; false when
// there is no thread or no window, and then nothing is left running. Called
// again once the thread has ended unasked, it starts a new one.
bool StartChannel(HINSTANCE instance, const ChannelNames& names, const ChannelHandlers& handlers);
// Ends the channel thread, which destroys its window.
void StopChannel();
// The channel thread, for the main loop to wait on; null when there is none.
HANDLE ChannelThread();
