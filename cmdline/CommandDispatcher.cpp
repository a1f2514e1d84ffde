#include "cmdline/CommandDispatcher.h"

#include "cmdline/ArgumentTokenizer.h"
#include "cmdline/CommandLineSeam.h"
#include "cmdline/SwitchTable.h"
#include "devices/ServoCommands.h"
#include "devices/U360ModeTable.h"
#include "resources/Version.h"

#include <cstring>

const char UsageText[] = "Velmora Version " VELMORA_VERSION_SHOWN "\n"
                         "\n"
                         "USAGE: Velmora.exe -options\n"
                         "\n"
                         "options:\n"
                         "  -exit             Exit program\n"
                         "  -help             Displays this Message Box\n"
                         "  -u360 [mouse|analog|joy8way|easyjoy8way|joy4way\n"
                         "         djoy4way|rdjoy4way|joy2way|vjoy2way]\n"
                         "  -servo [joy4way|joy8way]";

static void ApplyU360Switch() {
    const char* map = AppSwitchTable.ArgumentOr("-u360", 0, "mouse");
    CommandLineCalls.applyU360Map(map);
    for (const ModeEntry& row : U360ModeTable) {
        CommandLineCalls.setItemChecked(row.commandId, 0);
    }
    if (const ModeEntry* chosen = U360ModeByName(map)) {
        CommandLineCalls.setItemChecked(chosen->commandId, 1);
    }
}

static void ApplyServoSwitch() {
    const char* mode = AppSwitchTable.ArgumentOr("-servo", 0, "joy4way");
    CommandLineCalls.selectServoMode(ServoCommandForName(mode));
}

int ProcessCommandLine(const char* text) {
    int count = 0;
    char** vector = ArgumentTokenizer(text, &count);
    if (vector == nullptr) {
        return 0; // no memory for the vector: act on nothing
    }
    const int switches = AppSwitchTable.LoadArguments(count, vector);
    if (switches < 0) {
        ReleaseArgumentVector(vector);
        return 0; // a line only partly read is not acted on at all
    }
    if (switches >= 1) {
        if (AppSwitchTable.Contains("-help")) {
            CommandLineCalls.showMessage(UsageText, "Help", PlainMessageBox);
        } else {
            if (AppSwitchTable.Contains("-u360")) {
                ApplyU360Switch();
            }
            if (AppSwitchTable.Contains("-servo")) {
                ApplyServoSwitch();
            }
            if (AppSwitchTable.Contains("-exit")) {
                CommandLineCalls.closeMainWindow();
            }
        }
    }
    ReleaseArgumentVector(vector);
    return 1;
}

LineSwitches SwitchesOf(const char* text) {
    LineSwitches line = {false, false, false};
    int count = 0;
    char** vector = ArgumentTokenizer(text, &count);
    if (vector == nullptr) {
        return line;
    }
    line.any = AppSwitchTable.LoadArguments(count, vector) >= 1;
    line.usage = line.any && AppSwitchTable.Contains("-help");
    line.exit = line.any && !line.usage && AppSwitchTable.Contains("-exit");
    ReleaseArgumentVector(vector);
    return line;
}
