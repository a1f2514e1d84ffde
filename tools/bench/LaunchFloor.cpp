// The launch floor for the benchmark: the least any hand-over must do, which
// is to start a Windows program that loads USER32 and looks for a window.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return FindWindowA("Velmora_Server", "Velmora_InterComm") != nullptr ? 0 : 0;
}
