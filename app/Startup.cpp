#include "app/Startup.h"

#include "devices/DeviceModes.h"
#include "devices/ModeIds.h"
#include "devices/U360ModeTable.h"
#include "settings/Settings.h"

#include <cstring>

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
    for (const ModeEntry& row : U360ModeTable) {
        if (std::strcmp(row.name, g_settings.U360MapFile) == 0) {
            SelectU360Mode(row.commandId);
            break;
        }
    }
    SelectServoMode(ServoCommandForName(g_settings.ServoMapFile));
}
