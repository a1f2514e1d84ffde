#include "channel/InstanceStart.h"

#include "settings/ProgramDirectory.h"

#include <cstring>

HANDLE StartRunningInstance() {
    char program[MAX_PATH];
    char folder[MAX_PATH];
    if (!ReadModulePath(program)) {
        return nullptr;
    }
    DirectoryOfModulePath(program, folder);
    // The path named twice, as the application and quoted as the first
    // token, so that no prefix of a path with blanks can run instead.
    char commandLine[MAX_PATH + 2];
    const std::size_t length = std::strlen(program);
    commandLine[0] = '"';
    std::memcpy(commandLine + 1, program, length);
    commandLine[length + 1] = '"';
    commandLine[length + 2] = '\0';

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    // Without standard handles of its own a child keeps the launcher's (Wine
    // hands it the launcher's standard output even unasked).
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION started = {};
    // A job that does not let its processes leave refuses the breakaway:
    // the instance then stays in it, as any program the launcher starts would.
    const DWORD ways[] = {CREATE_BREAKAWAY_FROM_JOB | DETACHED_PROCESS, DETACHED_PROCESS};
    for (DWORD flags : ways) {
        if (CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, flags, nullptr,
                           folder[0] != '\0' ? folder : nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            return started.hProcess;
        }
        if (GetLastError() != ERROR_ACCESS_DENIED) {
            break;
        }
    }
    return nullptr;
}
