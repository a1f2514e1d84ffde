// Velmora's entry point: the first instance builds the program and serves it
// until told to exit; a later one hands its command line over and ends.
#include "app/AppState.h"
#include "app/LineQueue.h"
#include "app/Startup.h"
#include "channel/ChannelWindow.h"
#include "channel/HandOver.h"
#include "channel/InstanceMark.h"
#include "cmdline/CommandDispatcher.h"
#include "cmdline/ProgramArguments.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The runtime's own lpCmdLine loses part of an unquoted program path that
    // holds bytes of 0x80 and above: take the arguments from the whole line.
    const char* commandLine = ProgramArguments(GetCommandLineA());
    AppInstance = instance;
    // First of all: whether another instance runs decides everything else.
    if (!TakeInstanceMark(VelmoraChannelNames)) {
        // A usage box waits for the user, however long that takes; nothing else does.
        return HandOverExitCode(
            HandLineOver(VelmoraChannelNames, commandLine, AsksForUsage(commandLine)));
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
