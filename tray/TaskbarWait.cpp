#include "tray/TaskbarWait.h"

int WaitForTaskbar(TrayIcon& icon, DWORD patienceMilliseconds, DWORD intervalMilliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < patienceMilliseconds) {
        // Serve sent messages only: a WM_QUIT already queued (by -exit) stays
        // for the main loop.
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, intervalMilliseconds, QS_SENDMESSAGE) ==
            WAIT_OBJECT_0) {
            MSG message;
            PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            continue;
        }
        if (icon.AddAgain()) {
            return 1;
        }
    }
    return 0;
}
