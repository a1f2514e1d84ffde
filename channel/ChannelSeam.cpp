#include "channel/ChannelSeam.h"

namespace {
FARPROC User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 != nullptr ? GetProcAddress(user32, name) : nullptr;
}
} // namespace

ChannelSeam ChannelCalls = {User32Function};
