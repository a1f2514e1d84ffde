#pragma once
#include "channel/KernelHandle.h"

#include <windows.h>

enum ChannelRole : int { Server = 0, Client = 1 };

// What the first instance does with what later instances send, on the
// channel thread. None of them may wait for the main thread: the channel
// window answers every sender at once, so that no reply is ever held behind
// another sender's.
struct ChannelHandlers {
    // A forwarded command line: the reply, a ticket or TurnedAwayReply.
    LRESULT (*line)(int value, const char* text);
    // A later instance asks how the line behind a ticket fared: one of the Outcome constants.
    LRESULT (*outcome)(LRESULT ticket);
    // Called when the channel has been idle for the time it last gave back,
    // and at once after every message: the next such time, INFINITE for none.
    DWORD (*watch)();
};

// The names that mark and reach the first instance.
struct ChannelNames {
    const char* mutex;
    const char* serverClass;
    const char* clientClass;
    const char* windowTitle;
};
extern const ChannelNames VelmoraChannelNames;

// Replies of a first instance that is this program. A peer that answers the
// plain way acts before it replies and may reply anything, usually 0 or 1:
// every value without this tag above its low word means "acted on".
constexpr ULONG_PTR ReplyTagWord = 0x564C; // "VL"
constexpr LRESULT Tagged(WORD value) {
    return static_cast<LRESULT>((ReplyTagWord << 16) | value);
}
inline bool IsTagged(LRESULT reply) {
    return (static_cast<ULONG_PTR>(reply) >> 16) == ReplyTagWord;
}
// The line was turned away: nothing was done and nothing will be. Any other
// tagged reply is a ticket for a queued line: the sender then asks with
// LineOutcomeMessage until the line has an outcome.
constexpr LRESULT TurnedAwayReply = Tagged(0);

// Sent to the first instance's channel window: wParam a ticket; the answer
// one of the Outcome values below. It only reads, so it means the same from anyone.
constexpr UINT LineOutcomeMessage = WM_APP + 1;
constexpr LRESULT OutcomeUnknown = 0;            // no such ticket, or a peer that is not us
constexpr LRESULT OutcomeWaiting = Tagged(1);    // queued or being acted on: ask again
constexpr LRESULT OutcomeActed = Tagged(2);      // acted on
constexpr LRESULT OutcomeNotActed = Tagged(3);   // withdrawn or turned away before it started
constexpr LRESULT OutcomeUnfinished = Tagged(4); // started and not finished in time, or silent
// Being acted on, and showing the usage box its sender asked for: a sender
// whose own line asks for it waits for the user; another treats it as waiting.
constexpr LRESULT OutcomeShowingUsage = Tagged(5);

// How a later instance's hand-over ended.
enum class HandOver {
    Acted,      // the running instance acted on the line
    NotDone,    // nothing was done and nothing will be
    Unfinished, // the running instance went silent, or ran out of time, with the line in its hands
};

// How the WM_COPYDATA itself went.
enum class Delivery {
    NotTaken, // no window took it, or the system refused it
    Lost,     // the first instance vanished, fell silent or ran out of time while holding it
    Replied,  // it replied; the reply says more
};

// The whole verdict of a hand-over, from how its delivery ended, the reply
// and the last outcome its sender learnt (OutcomeUnfinished when it stopped
// asking: the peer went silent or ran out of time).
HandOver JudgeHandOver(Delivery delivery, LRESULT reply, LRESULT outcome);

// How long a later instance looks for the first one's channel window, which
// may still be in the making when both start together.
constexpr DWORD PeerSearchMilliseconds = 5000;
constexpr DWORD PeerSearchIntervalMilliseconds = 20;

// A later instance gives up on a first instance whose channel window has not
// answered for this long, asking every PeerProbeMilliseconds.
constexpr DWORD PeerProbeMilliseconds = 1000;
constexpr DWORD PeerSilenceMilliseconds = 5000;
// However well it answers, a later instance ends this long after it reached
// the first one (unless its own line shows the usage box it asked for): the
// first instance gives up on a line well before.
constexpr DWORD HandOverLimitMilliseconds = 35000;

// How often the first instance's channel thread makes sure its window is
// still top-level, where later instances look for it: another program can
// make it a child of one of its own windows, and nothing says so.
constexpr DWORD TopLevelCheckMilliseconds = 1000;
// and after every so many messages of a flood posted to its thread.
constexpr unsigned UpkeepEveryMessages = 64;

// How often a later instance asks how its line fared: every couple of
// milliseconds while it is young, since most lines are done within tens of
// them and a launcher waits for each, then ever less often (a usage box may
// stay open for minutes).
constexpr DWORD OutcomeFirstPollMilliseconds = 2;
constexpr DWORD OutcomeQuickPollsMilliseconds = 200;
constexpr DWORD OutcomeLastPollMilliseconds = 50;

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

    // Decides the role and starts the channel thread; false without a thread.
    bool Start(HINSTANCE instance, const ChannelHandlers* handlers);
    // A Client's whole hand-over: finds the Server, sends the text and waits
    // until the line has an outcome, the Server fell silent or
    // HandOverLimitMilliseconds have passed. waitsForUsageBox: the text asks
    // for the usage box, which may wait for the user as long as it is shown.
    HandOver Send(int value, const char* text, bool waitsForUsageBox);
    HWND FindPeerWindow() const;
    // Whether this process is the first instance: it holds the mark, or, where
    // the mark can be neither opened nor created, no first instance's
    // channel window exists.
    bool CreateInstanceMutex();
    void Close();
    ChannelRole Role() const { return role; }

    InstanceChannel(const InstanceChannel&) = delete;
    InstanceChannel& operator=(const InstanceChannel&) = delete;

  private:
    static DWORD WINAPI ChannelThreadMain(LPVOID parameter);
    static LRESULT CALLBACK ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam);
    LRESULT OnChannelMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnCopyData(WPARAM wParam, LPARAM lParam);
    bool MakeWindow();
    // False when the window is gone; puts a server's back at the top level.
    bool KeepWindow() const;
    bool ServeUntilStopped();

    HINSTANCE instanceHandle = nullptr;
    KernelHandle thread;
    HWND window = nullptr; // written by the channel thread once its window exists
    KernelHandle mutex;
    bool ownsMark = false; // the main thread owns the mark: released at Close
    const ChannelHandlers* handlers = nullptr;
    const char* windowTitle;
    const char* className;
    ChannelRole role = Server;
    KernelHandle stopEvent; // set by Close: the channel thread ends its loop
    ChannelNames channelNames;
};

// The text a WM_COPYDATA carries: its bytes up to the first zero within
// cbData, never beyond. False when it is longer than MaxForwardedText.
bool ReceivedText(const COPYDATASTRUCT* data, char* text, DWORD capacity);

// Lets a first instance that runs elevated hear what later instances that
// do not may send it, and nothing else: WM_COPYDATA and LineOutcomeMessage on
// its channel window (Windows 7), or for the process (Vista); on Windows XP
// there is nothing to allow.
void AllowLaterInstancesToReach(HWND window);

extern InstanceChannel AppChannel;
