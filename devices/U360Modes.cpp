#include "devices/U360Modes.h"

#include "devices/DeviceDetection.h"
#include "devices/DeviceSeam.h"
#include "devices/U360ModeTable.h"
#include "resources/resource.h"
#include "settings/Settings.h"
#include "tray/TrayIcon.h"
#include "tray/TrayPicture.h"

#include <cstring>

int U360DeviceCount = 0;

int SelectU360Mode(int commandId) {
    const ModeEntry* chosen = U360ModeByCommand(commandId);
    if (chosen == nullptr) {
        return 0;
    }
    for (const ModeEntry& row : U360ModeTable) {
        AppTrayIcon.SetItemChecked(row.commandId, 0);
    }
    ApplyU360Map(chosen->name);
    AppTrayIcon.SetItemChecked(chosen->commandId, 1);
    return 1;
}

void ApplyU360Map(const char* name) {
    // A name from the command line may be longer than the field: its first
    // 255 bytes are what the sticks get and what is saved.
    char(&map)[sizeof AppSettings.U360MapFile] = AppSettings.U360MapFile;
    const std::size_t length = strnlen(name, sizeof map - 1);
    std::memmove(map, name, length);
    map[length] = '\0';

    if (RefreshDevices()) {
        for (int i = 0; i < U360DeviceCount; ++i) {
            CallU360LoadMap(i, map);
        }
    }

    const bool mouse = std::strcmp(map, "mouse") == 0 && U360DeviceCount > 0;
    const int icon = mouse ? IDI_MOUSE : IDI_JOYSTICK_SMALL;
    // The pictures are resources of the executable itself, whose module is
    // the one the program starts with.
    AppTrayIcon.SetIcon(LoadSmallIcon(GetModuleHandleA(nullptr), icon));
}
