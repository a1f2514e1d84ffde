#pragma once
#include <windows.h>

#include <cstddef>

// F4 and F8, system-wide, on the main window. Another program may hold one
// as Velmora starts (and let go later): the missing ones are asked for again
// every HotKeyRetryMilliseconds for HotKeyPatienceMilliseconds after startup,
// then no more, so that nothing wakes the program at rest.
constexpr UINT_PTR HotKeyRetryTimer = 2;
constexpr UINT HotKeyRetryMilliseconds = 1000;
constexpr DWORD HotKeyPatienceMilliseconds = 60000;

// Registers both keys, and starts asking again for those another program holds.
void RegisterHotKeys(HWND window);
// HotKeyRetryTimer's handler.
void RetryHotKeys(HWND window);

// The tray icon's tip: "Velmora", then what is wrong with a vendor library
// and which hot key another program holds, in a few words each.
void ComposeTip(char* tip, std::size_t size);
