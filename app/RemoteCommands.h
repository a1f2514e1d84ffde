#pragma once
#include <windows.h>

// Command lines forwarded by later instances arrive on the channel thread and
// are acted on by the main thread alone: the channel thread sends each one to
// the main window and waits, so the sender waits too until it took effect.

// Sent to ControllerWindow; lParam is the text. The dialog answers 1 once it
// has acted on it.
constexpr UINT RemoteCommandMessage = WM_APP + 11;

// The instance channel's callback.
int OnRemoteCommandLine(int value, const char* text);

// From now on forwarded command lines go to target; before this call they
// wait. A null target turns them away (startup failed, or the program ends).
void AcceptRemoteCommands(HWND target);

// Turns forwarded command lines away on every way out of WinMain, so that the
// channel thread is never left waiting for a main loop that will not come.
struct RemoteCommandsGuard {
    ~RemoteCommandsGuard() { AcceptRemoteCommands(nullptr); }
};
