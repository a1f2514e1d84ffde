#include "app/Startup.h"

#include "devices/ServoModes.h"
#include "devices/U360ModeTable.h"
#include "devices/U360Modes.h"
#include "settings/Settings.h"

int RunMessageLoop(HWND controller) {
    // No IsDialogMessage here: the hidden Settings window needs no keyboard
    // navigation, and the About box runs a dialog loop of its own.
    MSG message = {};
    BOOL got;
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
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
