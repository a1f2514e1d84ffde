#pragma once
#include "channel/ChannelWindow.h"

#include <windows.h>

// Lines handed over arrive on the channel thread and are acted on by the
// main thread alone, one at a time, in the order received: the channel
// thread queues each (LineLedger), replies with a ticket and posts
// LineNoticeMessage to the main window, whose handler takes the line from the
// queue, never from the message, so the notice carries nothing to forge.
// The senders' questions keep the queue's rules, and post the notice again
// while lines wait with nothing moving, since a notice can fail to be posted
// or sit behind a message that a loop we do not own never gets past.
constexpr UINT LineNoticeMessage = WM_APP + 11; // its parameters mean nothing
constexpr DWORD NoticeRepeatMilliseconds = 1000;

// The channel's handlers for the first instance, on the channel thread.
extern const ChannelHandlers LineHandlers;

// The main window: where notices go, and whose thread is watched for a hang.
void DirectLinesTo(HWND mainWindow);
// From now on lines are acted on; before, they wait.
void AcceptLines();
// Turns away every waiting and later line, then serves sent messages until
// the senders of lines settled just now have asked how they fared, within
// OutcomeKeptMilliseconds.
void CloseLines();

// LineNoticeMessage's handler: acts on the oldest waiting line, unless the
// main thread is inside a line or a mode change already (a modal loop may
// dispatch the notice); the line then waits for its end.
void ActOnWaitingLine();

// The usage box of "-help". While it waits for the user, other lines are
// acted on, and only the sender of its own line waits for it. One at a time:
// while one is open, another "-help" shows nothing more.
void ShowUsageBox(const char* text, const char* caption, unsigned style);

// Whether the main thread is inside a line or a mode change.
bool MainThreadBusy();

// Marks the main thread as busy with a line or a mode change for the guard's
// lifetime; lines that arrive meanwhile are acted on after it.
class CommandInProgress {
  public:
    CommandInProgress();
    ~CommandInProgress();
    CommandInProgress(const CommandInProgress&) = delete;
    CommandInProgress& operator=(const CommandInProgress&) = delete;

  private:
    bool outermost;
};
