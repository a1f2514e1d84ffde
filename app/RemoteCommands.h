#pragma once
#include "channel/InstanceChannel.h"

#include <windows.h>

// Command lines forwarded by later instances arrive on the channel thread and
// are acted on by the main thread alone, one at a time, in the order received.
// The channel thread queues a copy of each text, answers its sender at once
// with a ticket and posts RemoteCommandMessage to the main window; the handler
// takes the text from the queue, never from the message, so the notice
// carries nothing that another program could forge. The sender then asks how
// its ticket fared until the line has an outcome; no sender waits for another.
//
// The channel thread also watches the main thread while lines are in its
// hands: once it has not answered for MainThreadSilenceMilliseconds, every
// waiting line is withdrawn (never acted on later), the one it is acting on is
// reported unfinished, and new lines are turned away until it answers again.

// Posted to ControllerWindow; its parameters mean nothing.
constexpr UINT RemoteCommandMessage = WM_APP + 11;

// More lines than this waiting at once are turned away.
constexpr int MaxPendingCommands = 64;

constexpr DWORD MainThreadProbeMilliseconds = 1000;
constexpr DWORD MainThreadProbeIntervalMilliseconds = 500;
constexpr DWORD MainThreadSilenceMilliseconds = 5000;

// How long the end of the program waits for later instances to ask how their
// lines fared (each asks within milliseconds; one that died never will).
constexpr DWORD OutcomeCollectionMilliseconds = 1000;

// The channel's handlers for a first instance, on the channel thread.
extern const ChannelHandlers RemoteCommandHandlers;

// The main thread's window, answered by it alone; probed while lines wait.
void WatchMainThread(HWND mainWindow);

// From now on forwarded command lines are announced to target and acted on;
// before this call they wait, whatever message arrives.
void AcceptRemoteCommands(HWND target);

// Turns away every waiting and later line (startup failed, or the program
// ends), then waits, serving sent messages, until their senders have asked
// how they fared or OutcomeCollectionMilliseconds have passed.
void CloseRemoteCommands();

// RemoteCommandMessage's handler, on the main thread: acts on the oldest
// waiting line, unless the main thread is already inside a command line or a
// mode change (a usage box or a menu's modal loop may dispatch the notice),
// or startup has not yet finished; the line then waits.
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

// Turns forwarded command lines away on every way out of WinMain, so that no
// sender is left asking about a line that no main loop will act on.
struct RemoteCommandsGuard {
    ~RemoteCommandsGuard() { CloseRemoteCommands(); }
};
