#pragma once
#include <windows.h>

enum ChannelRole : int { Server = 0, Client = 1 };

// Called on the channel thread with the value and the text of every command
// line a later instance forwards; its result is the reply the sender sees.
using ChannelCallback = int (*)(int value, const char* text);

// The names that mark and reach the first instance.
struct ChannelNames {
    const char* mutex;
    const char* serverClass;
    const char* clientClass;
    const char* windowTitle;
};
extern const ChannelNames VelmoraChannelNames;

// How long a later instance looks for the first one's channel window, which
// may still be in the making when both start together.
constexpr DWORD PeerSearchMilliseconds = 5000;
constexpr DWORD PeerSearchIntervalMilliseconds = 20;

// While its line is being acted on, a later instance asks the first one's
// channel window every interval whether it still answers; after this long
// without an answer it gives up. A first instance that is merely slow, or
// shows a usage box, goes on answering and is waited for.
constexpr DWORD PeerProbeMilliseconds = 1000;
constexpr DWORD PeerSilenceMilliseconds = 5000;

// How long Close waits for the channel thread to end.
constexpr DWORD ChannelStopMilliseconds = 2000;

// A later instance makes its channel window only when its hand-over is still
// waiting after this long: nobody sends to it, and in a process's first
// window the display driver's start costs as much as the whole hand-over.
constexpr DWORD ClientWindowDelayMilliseconds = 250;

// The longest text acted on: no Windows command line is longer.
constexpr DWORD MaxForwardedText = 32767;

// Decides whether this process is the first instance (Server) or a later one
// (Client), and carries a Client's command line to the Server.
class InstanceChannel {
  public:
    InstanceChannel();
    explicit InstanceChannel(const ChannelNames& names);
    virtual ~InstanceChannel();

    int Start(HINSTANCE instance, ChannelCallback callback);
    int Send(int value, const char* text);
    HWND FindPeerWindow() const;
    int CreateInstanceMutex();
    void Close();

    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

    HINSTANCE instanceHandle = nullptr;
    HANDLE threadHandle = nullptr;
    DWORD threadId = 0;
    HWND window = nullptr;
    HANDLE mutex = nullptr;
    ChannelCallback callback = nullptr;
    const char* windowTitle;
    const char* className;
    int role = Server;
    HANDLE stopEvent = nullptr; // set by Close: the channel thread ends its loop

  private:
    static DWORD WINAPI ChannelThreadMain(LPVOID parameter);
    static LRESULT CALLBACK ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);
    LRESULT OnChannelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    ChannelNames channelNames;
};

// The text a WM_COPYDATA carries: its bytes up to the first zero within
// cbData, never beyond. False when it is longer than MaxForwardedText.
bool ReceivedText(const COPYDATASTRUCT* data, char* text, DWORD capacity);

extern InstanceChannel AppChannel;
