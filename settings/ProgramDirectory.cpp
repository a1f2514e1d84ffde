#include "settings/ProgramDirectory.h"

#include <cstring>

char ProgramDirectory[MAX_PATH];

bool ReadModulePath(char (&path)[MAX_PATH]) {
    // A path that fills the buffer comes back cut (and unterminated on older
    // systems); a cut path would name some other file, so it is not used.
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        path[0] = '\0';
        return false;
    }
    return true;
}

void DirectoryOfModulePath(const char* modulePath, char* destination) {
    const char* lastBackslash = std::strrchr(modulePath, '\\');
    const std::size_t keep = lastBackslash != nullptr
                                 ? static_cast<std::size_t>(lastBackslash - modulePath) + 1
                                 : std::strlen(modulePath);
    std::memmove(destination, modulePath, keep);
    destination[keep] = '\0';
}

void GetProgramDirectory(char* destination) {
    char modulePath[MAX_PATH];
    if (!ReadModulePath(modulePath)) {
        destination[0] = '\0';
        return;
    }
    DirectoryOfModulePath(modulePath, destination);
}
