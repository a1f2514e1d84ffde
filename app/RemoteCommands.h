#pragma once
#include <windows.h>

// Command lines forwarded by later instances arrive on the channel thread and
// are acted on by the main thread alone, one at a time, in the order received.
// The channel thread queues a copy of each text and posts RemoteCommandMessage
// to the main window; the handler takes the text from the queue, never from the
// message, so the notice carries nothing that another program could forge.
// The channel thread then waits, still answering sent messages, until the line
// has been acted on, so the sender waits too until it took effect.

// Posted to ControllerWindow; its parameters mean nothing.
constexpr UINT RemoteCommandMessage = WM_APP + 11;

// More lines than this waiting at once are turned away (the sender exits 2):
// each waiting line holds a nested wait on the channel thread's stack.
constexpr int MaxPendingCommands = 64;

// The instance channel's callback, on the channel thread: 1 once the line was
// acted on, 0 when it was turned away or could not be acted on.
int OnRemoteCommandLine(int value, const char* text);

// From now on forwarded command lines are announced to target; before this
// call they wait. A null target turns away every waiting and later line
// (startup failed, or the program ends).
void AcceptRemoteCommands(HWND target);

// RemoteCommandMessage's handler, on the main thread: acts on the oldest
// waiting line, unless the main thread is already inside a command line or a
// mode change (a usage box or a menu's modal loop may dispatch the notice);
// the line then waits until that has finished.
void ActOnRemoteCommands();

// Marks the main thread as busy with a command line or a mode change for the
// guard's lifetime; lines that arrive meanwhile are acted on after it.
class CommandInProgress {
  public:
    CommandInProgress();
    ~CommandInProgress();
    CommandInProgress(const CommandInProgress&) = delete;
    CommandInProgress& operator=(const CommandInProgress&) = delete;

  private:
    bool outermost;
};

// Turns forwarded command lines away on every way out of WinMain, so that the
// channel thread is never left waiting for a main loop that will not come.
struct RemoteCommandsGuard {
    ~RemoteCommandsGuard() { AcceptRemoteCommands(nullptr); }
};
