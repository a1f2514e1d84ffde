// Velmora's entry point: the first instance builds the program and serves it
// until told to exit; a later one hands its command line over and ends.
#include "app/AppState.h"
#include "app/RemoteCommands.h"
#include "app/Startup.h"
#include "channel/InstanceChannel.h"
#include "cmdline/CommandDispatcher.h"
#include "cmdline/ProgramArguments.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The runtime's own lpCmdLine loses part of an unquoted program path that
    // holds bytes of 0x80 and above: take the arguments from the whole line.
    const char* commandLine = ProgramArguments(GetCommandLineA());
    AppInstance = instance;
    // First of all: whether another instance runs decides everything else.
    AppChannel.Start(instance, &RemoteCommandHandlers);
    if (AppChannel.Role() == Client) {
        // A usage box waits for the user, however long that takes; nothing else does.
        return HandOverExitCode(AppChannel.Send(0, commandLine, AsksForUsage(commandLine)));
    }
    RemoteCommandsGuard turnAwayOnExit;
    return RunFirstInstance(commandLine);
}
