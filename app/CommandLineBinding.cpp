// The command line's effects as the program has them.
#include "cmdline/CommandLineSeam.h"

#include "app/AppState.h"
#include "app/LineQueue.h"
#include "devices/ServoModes.h"
#include "devices/U360Modes.h"
#include "tray/TrayIcon.h"

#include <windows.h>

namespace {
void* AllocateFixed(std::size_t bytes) {
    return GlobalAlloc(GMEM_FIXED, bytes);
}
void ReleaseFixed(void* block) {
    GlobalFree(block);
}
void CheckTrayItem(int commandId, int on) {
    AppTrayIcon.SetItemChecked(commandId, on);
}
void CloseControllerWindow() {
    SendMessageA(ControllerWindow, WM_CLOSE, 0, 0);
}
} // namespace

CommandLineSeam CommandLineCalls = {AllocateFixed,        ReleaseFixed,  ShowUsageBox,
                                    ApplyU360Map,         CheckTrayItem, SelectServoMode,
                                    CloseControllerWindow};
