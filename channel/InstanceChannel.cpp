#include "channel/InstanceChannel.h"

#include <cstring>
#include <vector>

const ChannelNames VelmoraChannelNames = {"Velmora_Mutex", "Velmora_Server", "Velmora_Client",
                                          "Velmora_InterComm"};

InstanceChannel::InstanceChannel() : InstanceChannel(VelmoraChannelNames) {}

InstanceChannel::InstanceChannel(const ChannelNames& names)
    : mutex(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, names.mutex)), windowTitle(names.windowTitle),
      className(names.serverClass), names_(names) {}

InstanceChannel::~InstanceChannel() {
    Close();
}

int InstanceChannel::CreateInstanceMutex() {
    if (mutex != nullptr) {
        return 0;
    }
    mutex = CreateMutexA(nullptr, FALSE, names_.mutex);
    // Two instances started together both miss the mutex at construction; only
    // the one that really created it may be the first.
    if (mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
        return 0;
    }
    return 1;
}

int InstanceChannel::Start(HINSTANCE instance, ChannelCallback newCallback) {
    callback = newCallback;
    instanceHandle = instance;
    if (!CreateInstanceMutex()) {
        role = Client;
        className = names_.clientClass;
    }
    threadHandle = CreateThread(nullptr, 0, ChannelThreadMain, this, 0, &threadId);
    return threadHandle != nullptr ? 1 : 0;
}

DWORD WINAPI InstanceChannel::ChannelThreadMain(LPVOID parameter) {
    auto* self = static_cast<InstanceChannel*>(parameter);
    DWORD result = 0;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ChannelWindowProc;
    windowClass.hInstance = self->instanceHandle;
    windowClass.lpszClassName = self->className;
    if (RegisterClassA(&windowClass)) {
        self->window = CreateWindowExA(0, self->className, self->windowTitle, WS_OVERLAPPEDWINDOW,
                                       0, 0, 1, 1, nullptr, nullptr, self->instanceHandle, self);
        if (self->window != nullptr) {
            MSG message;
            while (GetMessageA(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            result = static_cast<DWORD>(message.wParam);
        }
    }
    DestroyWindow(self->window);
    UnregisterClassA(self->className, self->instanceHandle);
    return result;
}

LRESULT CALLBACK InstanceChannel::ChannelWindowProc(HWND window, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    InstanceChannel* self;
    if (message == WM_CREATE) {
        self =
            static_cast<InstanceChannel*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<InstanceChannel*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (self == nullptr) {
            return DefWindowProcA(window, message, wParam, lParam);
        }
    }
    self->window = window;
    return self->OnChannelMessage(window, message, wParam, lParam);
}

bool ReceivedText(const COPYDATASTRUCT* data, char* text, DWORD capacity) {
    text[0] = '\0';
    if (data == nullptr || data->lpData == nullptr || data->cbData == 0) {
        return true; // the empty text
    }
    const char* bytes = static_cast<const char*>(data->lpData);
    const void* zero = std::memchr(bytes, '\0', data->cbData);
    const DWORD length =
        zero != nullptr ? static_cast<DWORD>(static_cast<const char*>(zero) - bytes) : data->cbData;
    if (length > MaxForwardedText || length >= capacity) {
        return false;
    }
    std::memcpy(text, bytes, length);
    text[length] = '\0';
    return true;
}

LRESULT InstanceChannel::OnChannelMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA && callback != nullptr) {
        // The data is the sender's only while we handle the message: copy it,
        // and never read past cbData, whatever the sender claims.
        std::vector<char> text(MaxForwardedText + 1);
        if (!ReceivedText(reinterpret_cast<const COPYDATASTRUCT*>(lParam), text.data(),
                          static_cast<DWORD>(text.size()))) {
            return 0;
        }
        return callback(static_cast<int>(wParam), text.data());
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND InstanceChannel::FindPeerWindow() const {
    switch (role) {
    case Server:
        return FindWindowA(names_.clientClass, windowTitle);
    case Client:
        return FindWindowA(names_.serverClass, windowTitle);
    default:
        return nullptr;
    }
}

int InstanceChannel::Send(int value, const char* text) {
    HWND peer = FindPeerWindow();
    for (DWORD waited = 0; peer == nullptr && waited < PeerSearchMilliseconds;
         waited += PeerSearchIntervalMilliseconds) {
        Sleep(PeerSearchIntervalMilliseconds);
        peer = FindPeerWindow();
    }
    if (peer == nullptr) {
        return 0;
    }
    COPYDATASTRUCT data;
    data.dwData = 0;
    data.cbData = static_cast<DWORD>(std::strlen(text) + 1);
    data.lpData = const_cast<char*>(text);
    // The peer answers nonzero once it has acted on the text.
    return SendMessageA(peer, WM_COPYDATA, static_cast<WPARAM>(value),
                        reinterpret_cast<LPARAM>(&data)) != 0
               ? 1
               : 0;
}

void InstanceChannel::Close() {
    PostThreadMessageA(threadId, WM_QUIT, 0, 0);
    SendMessageA(window, WM_CLOSE, 0, 0);
    if (threadHandle != nullptr) {
        CloseHandle(threadHandle);
        threadHandle = nullptr;
    }
    if (mutex != nullptr) {
        ReleaseMutex(mutex);
        CloseHandle(mutex); // the mutex, and with it the first-instance mark, goes now
        mutex = nullptr;
    }
}
