#include "app/Startup.h"

#include "app/ControllerWindow.h"
#include "devices/ServoModes.h"
#include "devices/U360ModeTable.h"
#include "devices/U360Modes.h"
#include "settings/Settings.h"

int RunMessageLoop(HWND controller) {
    // The About box runs a dialog loop of its own; the Settings window, once
    // shown, answers Tab, Enter and Escape through this one.
    MSG message = {};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        if (MakesOrUnmakesAWindow(message.message)) {
            continue; // the system sends these; posted, they come from someone else
        }
        if (IsWindowVisible(controller) && IsDialogMessageA(controller, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyWindow(controller); // may be gone already ("E&xit")
    // -1 is a failed GetMessage, whose message holds whatever came last.
    return got == 0 ? static_cast<int>(message.wParam) : 0;
}

void ApplyStoredModes() {
    if (const ModeEntry* stored = U360ModeByName(AppSettings.U360MapFile)) {
        SelectU360Mode(stored->commandId);
    }
    SelectServoMode(ServoCommandForName(AppSettings.ServoMapFile));
}
