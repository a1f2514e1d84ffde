#pragma once
#include "channel/ChannelWindow.h"

#include <windows.h>

// Lines handed over by later starts arrive on the channel thread and are
// acted on by the main thread alone, one at a time, in the order received.
// The channel thread queues a copy of each (LineLedger), answers its sender
// at once with a ticket and posts LineNoticeMessage to the main window; the
// handler takes the line from the queue, never from the message, so the
// notice carries nothing that another program could forge. Each sender then
// asks how its line fared until it is settled; no sender waits for another.
//
// Those questions also keep the queue's rules: lines that wait while the
// main thread is hung, or moves nothing, are withdrawn, and the notice is
// posted again while lines wait, since a notice can fail to be posted or sit
// behind a message that a loop we do not own never gets past.

// Posted to the main window; its parameters mean nothing.
constexpr UINT LineNoticeMessage = WM_APP + 11;
// Lines that have waited this long with nothing moving are announced again.
constexpr DWORD NoticeRepeatMilliseconds = 1000;

// The channel's handlers for the first instance, on the channel thread.
extern const ChannelHandlers LineHandlers;

// The main window: where the notices go once lines are accepted, and whose
// thread is watched for a hang from now on.
void DirectLinesTo(HWND mainWindow);

// From now on lines are announced and acted on; before, they wait.
void AcceptLines();

// Turns away every waiting and later line (startup failed, or the program
// ends), then waits, serving sent messages, until the senders of lines
// settled within the last OutcomeCollectionMilliseconds have asked how they
// fared, or that long has passed. Only the first call does anything.
void CloseLines();

// LineNoticeMessage's handler, on the main thread: acts on the oldest waiting
// line, unless the main thread is already inside a line or a mode change (a
// menu's modal loop may dispatch the notice), or lines are not yet accepted;
// the line then waits.
void ActOnWaitingLine();

// The usage box of "-help", on the main thread. While it waits for the user,
// other lines are acted on, and the sender of the line that asked for it
// waits for it. One at a time: while one is open, another "-help" shows
// nothing more.
void ShowUsageBox(const char* text, const char* caption, unsigned style);

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
