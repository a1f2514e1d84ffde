// Velmora's entry point: the first instance builds the program and serves it
// until told to exit; a later one hands its command line over and ends.
#include "app/AppState.h"
#include "app/LineQueue.h"
#include "app/Startup.h"
#include "channel/ChannelWindow.h"
#include "channel/HandOver.h"
#include "channel/InstanceMark.h"
#include "channel/InstanceStart.h"
#include "cmdline/CommandDispatcher.h"
#include "cmdline/ProgramArguments.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The runtime's own lpCmdLine loses part of an unquoted program path that
    // holds bytes of 0x80 and above: take the arguments from the whole line.
    const char* commandLine = ProgramArguments(GetCommandLineA());
    AppInstance = instance;
    const LineSwitches line = SwitchesOf(commandLine);
    // First of all: whether another instance runs decides everything else.
    // A usage box waits for the user, however long that takes; nothing else does.
    if (!TakeInstanceMark(VelmoraChannelNames)) {
        return HandOverExitCode(HandLineOver(VelmoraChannelNames, commandLine, line.usage));
    }
    // A launcher waits for the program it runs: its first call must return
    // like any later one. A start without switches (the Run value, a
    // shortcut) stays as the running instance, and a line that ends the
    // program is acted on here.
    if (line.any && !line.exit) {
        ReleaseInstanceMark();
        HANDLE instance = StartRunningInstance();
        if (instance == nullptr) {
            return ExitNotDone;
        }
        const int code =
            HandOverExitCode(HandLineOver(VelmoraChannelNames, commandLine, line.usage, instance));
        CloseHandle(instance);
        return code;
    }
    int code = ExitNotDone; // no channel: later starts could not reach us
    if (StartChannel(instance, VelmoraChannelNames, LineHandlers)) {
        code = RunFirstInstance(commandLine);
        CloseLines(); // on every way out: no sender is left asking about a line no loop will take
        StopChannel();
    }
    ReleaseInstanceMark();
    return code;
}
