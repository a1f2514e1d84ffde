// What tools/wow64-probe.sh runs to learn whether this machine runs 32-bit
// Windows code: a program built like Velmora that loads USER32, asks it
// something, and ends with the width of its own pointers in bits. Only a
// 32-bit program that ran to its end gives 32; Wine's failures to start one
// give other codes.
#include <windows.h>

#include <climits>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // USER32's calls cross the same WoW64 thunks as Velmora's windows do.
    FindWindowA("Velmora_Server", "Velmora_InterComm");
    return static_cast<int>(sizeof(void*) * CHAR_BIT);
}
