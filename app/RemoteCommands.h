#pragma once
#include "app/LineLedger.h"
#include "channel/InstanceChannel.h"

#include <windows.h>

// Command lines forwarded by later instances arrive on the channel thread and
// are acted on by the main thread alone, one at a time, in the order received.
// The channel thread queues a copy of each text (LineLedger), answers its
// sender at once with a ticket and posts RemoteCommandMessage to the main
// window; the handler takes the text from the queue, never from the message,
// so the notice carries nothing that another program could forge. The sender
// then asks how its ticket fared until the line is settled; no sender waits
// for another.
//
// The channel thread also watches the main thread while lines are in its
// hands: it probes it, withdraws waiting lines once it has moved nothing for
// a while or stopped answering, and posts the notice again while lines wait,
// since a notice can fail to be posted or sit behind a message that a loop
// we do not own never gets past.

// Posted to ControllerWindow; its parameters mean nothing.
constexpr UINT RemoteCommandMessage = WM_APP + 11;

constexpr DWORD MainThreadProbeMilliseconds = 1000;
constexpr DWORD MainThreadProbeIntervalMilliseconds = 500;
// Lines that have waited this long with nothing moving are announced again.
constexpr DWORD NoticeRepeatMilliseconds = 1000;

// The channel's handlers for a first instance, on the channel thread.
extern const ChannelHandlers RemoteCommandHandlers;

// The main thread's window, answered by it alone; probed while lines wait.
void WatchMainThread(HWND mainWindow);

// From now on forwarded command lines are announced to target and acted on;
// before this call they wait, whatever message arrives.
void AcceptRemoteCommands(HWND target);

// Turns away every waiting and later line (startup failed, or the program
// ends), then waits, serving sent messages, until the senders of lines
// settled within the last OutcomeCollectionMilliseconds have asked how they
// fared, or that long has passed. Only the first call does anything.
void CloseRemoteCommands();

// RemoteCommandMessage's handler, on the main thread: acts on the oldest
// waiting line, unless the main thread is already inside a command line or a
// mode change (a menu's modal loop may dispatch the notice), or startup has
// not yet finished; the line then waits.
void ActOnRemoteCommands();

// The usage box of "-help", on the main thread. While it waits for the user,
// other lines are acted on, and the sender of the line that asked for it
// waits for it. One at a time: while one is open, another "-help" shows
// nothing more.
void ShowUsageBox(const char* text, const char* caption, unsigned style);

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
