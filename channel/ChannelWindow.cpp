#include "channel/ChannelWindow.h"

#include "channel/MessageFilter.h"

#include <cstring>
#include <initializer_list>

namespace {

constexpr DWORD ChannelStopMilliseconds = 2000;
// A flood posted to the channel thread is drained in pieces of this many
// messages, with the window's upkeep between them.
constexpr unsigned UpkeepEveryMessages = 64;

// The channel thread's, set before it starts: its window procedure finds
// them here, never in window data that any program can rewrite.
HINSTANCE Instance = nullptr;
const ChannelNames* Names = nullptr;
const ChannelHandlers* Handlers = nullptr;
HANDLE StopEvent = nullptr;
HANDLE Thread = nullptr;
HWND Window = nullptr;         // the channel thread's own
bool MakingOrUnmaking = false; // the channel thread itself makes or unmakes its window

// A hidden window that only carries the hand-over needs the default
// processing while its thread makes or unmakes it, and for the system's
// broadcasts whose answer matters. Everything else it would do (rename,
// close or unmake it, run a menu, move or caption-button loop, ask a parent
// something) any program could ask for.
bool DefaultProcessingWanted(UINT message) {
    if (MakingOrUnmaking) {
        return true;
    }
    switch (message) {
    case WM_QUERYENDSESSION:
    case WM_ENDSESSION:
    case WM_POWERBROADCAST:
    case WM_DEVICECHANGE:
        return true;
    default:
        return false;
    }
}

LRESULT OnCopyData(WPARAM value, const COPYDATASTRUCT* data) {
    if (value != 0) {
        return TurnedAwayReply;
    }
    if (data == nullptr) {
        return Handlers->line("", 0, NoKey);
    }
    // 32 bits of it, the same whichever bitness sent it.
    const auto key = static_cast<DWORD>(data->dwData);
    if (data->lpData == nullptr) {
        return Handlers->line("", 0, key);
    }
    // Never read past cbData, whatever the sender claims: the text ends at
    // its first zero within the data, or with it.
    const char* bytes = static_cast<const char*>(data->lpData);
    const void* zero = std::memchr(bytes, '\0', data->cbData);
    const DWORD length =
        zero != nullptr ? static_cast<DWORD>(static_cast<const char*>(zero) - bytes) : data->cbData;
    return length <= MaxLineText ? Handlers->line(bytes, length, key) : TurnedAwayReply;
}

LRESULT CALLBACK ChannelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window == Window && message == WM_COPYDATA) {
        return OnCopyData(wParam, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    }
    if (window == Window && message == LineOutcomeMessage) {
        return Handlers->outcome(static_cast<LRESULT>(wParam), static_cast<DWORD>(lParam));
    }
    return DefaultProcessingWanted(message) ? DefWindowProcA(window, message, wParam, lParam) : 0;
}

bool MakeWindow() {
    MakingOrUnmaking = true;
    Window = CreateWindowExA(0, Names->serverClass, Names->windowTitle, WS_OVERLAPPEDWINDOW, 0, 0,
                             1, 1, nullptr, nullptr, Instance, nullptr);
    MakingOrUnmaking = false;
    if (Window != nullptr) {
        AllowLaterInstancesToReach(Window);
    }
    return Window != nullptr;
}

// Runs whenever the thread wakes: there is nothing to look after at rest.
// False once the window is gone.
bool KeepWindow() {
    if (!IsWindow(Window)) {
        return false;
    }
    // Another program can make the window a child of one of its own, which
    // hides it from FindWindowA; the move wakes this thread (it is carried
    // out here, or announced with the window's position change).
    if (GetAncestor(Window, GA_PARENT) != GetDesktopWindow()) {
        SetParent(Window, nullptr);
    }
    // Or show it (tools that reveal hidden windows do): a window shown has
    // a screen area to look after, which this one has no use for.
    if (IsWindowVisible(Window)) {
        ShowWindow(Window, SW_HIDE);
    }
    return true;
}

// Sent messages are served inside PeekMessage. Nothing of ours is posted to
// this thread, so every posted message is dropped unread (Wine would call a
// WM_TIMER's lParam as a function), a WM_QUIT from anyone included: only the
// stop event ends the loop, or the window's end. A WM_PAINT is no posted
// message: it comes back at once for as long as its window, shown or given
// the visible style by another program, has something left to paint, so
// what it asks for is validated, frame included, as BeginPaint does.
void ServeUntilStopped() {
    while (MsgWaitForMultipleObjects(1, &StopEvent, FALSE, INFINITE, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
        MSG message;
        for (unsigned drained = 1; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE); ++drained) {
            if (message.message == WM_PAINT && message.hwnd != nullptr) {
                PAINTSTRUCT paint;
                BeginPaint(message.hwnd, &paint);
                EndPaint(message.hwnd, &paint);
            }
            if (drained % UpkeepEveryMessages == 0 && !KeepWindow()) {
                return;
            }
        }
        if (!KeepWindow()) {
            return;
        }
    }
}

DWORD WINAPI ChannelThreadMain(LPVOID readyEvent) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChannelWindowProc;
    windowClass.hInstance = Instance;
    windowClass.lpszClassName = Names->serverClass;
    // A thread that ended unasked leaves its class behind.
    if (!RegisterClassA(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return 0;
    }
    // Another program can destroy the window (by destroying one of its own
    // that it made ours the child of): the thread then ends, and the main
    // loop starts a new one, as after any end it did not ask for.
    if (MakeWindow()) {
        SetEvent(readyEvent);
        ServeUntilStopped();
    }
    MakingOrUnmaking = true;
    DestroyWindow(Window);
    MakingOrUnmaking = false;
    UnregisterClassA(Names->serverClass, Instance);
    return 0;
}

// Lets go of the handles of a thread that has ended, or never started.
void ForgetThread() {
    for (HANDLE* handle : {&Thread, &StopEvent}) {
        if (*handle != nullptr) {
            CloseHandle(*handle);
            *handle = nullptr;
        }
    }
}

} // namespace

bool StartChannel(HINSTANCE instance, const ChannelNames& names, const ChannelHandlers& handlers) {
    ForgetThread(); // one that ended unasked
    Instance = instance;
    Names = &names;
    Handlers = &handlers;
    StopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (StopEvent != nullptr && ready != nullptr) {
        Thread = CreateThread(nullptr, 0, ChannelThreadMain, ready, 0, nullptr);
    }
    // The window comes, or the thread ends without one.
    const HANDLE either[] = {ready, Thread};
    const bool serving =
        Thread != nullptr && WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
    if (ready != nullptr) {
        CloseHandle(ready); // set, or never to be: the thread has ended or never started
    }
    if (!serving) {
        // Nothing left to wait on either: a main loop that waited on a
        // thread that has ended would start it anew without pause.
        ForgetThread();
    }
    return serving;
}

void StopChannel() {
    // The process must not end while the thread still unmakes its window.
    // The handles go with the process, which ends next: a thread that has not
    // ended in time may still wait on the event.
    if (Thread != nullptr) {
        SetEvent(StopEvent);
        WaitForSingleObject(Thread, ChannelStopMilliseconds);
    }
}

HANDLE ChannelThread() {
    return Thread;
}
