#include "settings/Autostart.h"

#include "settings/ProgramDirectory.h"
#include "settings/RegistryKey.h"

#include <windows.h>

#include <cstring>

const char RunKeyPath[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char RunValueName[] = "Velmora";

std::size_t StartupCommandFor(const char* modulePath, char* destination, std::size_t capacity) {
    const std::size_t length = std::strlen(modulePath);
    const bool quote = std::strchr(modulePath, ' ') != nullptr;
    const std::size_t total = length + (quote ? 2 : 0);
    if (length == 0 || total + 1 > capacity) {
        return 0;
    }
    char* out = destination;
    if (quote) {
        *out++ = '"';
    }
    std::memcpy(out, modulePath, length);
    out += length;
    if (quote) {
        *out++ = '"';
    }
    *out = '\0';
    return total;
}

void AddStartupEntry() {
    char modulePath[MAX_PATH];
    char command[MAX_PATH + 2];
    if (!ReadModulePath(modulePath)) {
        return;
    }
    const std::size_t length = StartupCommandFor(modulePath, command, sizeof command);
    if (length == 0) {
        return;
    }
    RegistryKey run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_SET_VALUE, &run.handle) !=
        ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(run.handle, RunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(command),
                   static_cast<DWORD>(length) + 1);
}

void RemoveStartupEntry() {
    RegistryKey run;
    if (RegOpenKeyA(HKEY_CURRENT_USER, RunKeyPath, &run.handle) != ERROR_SUCCESS) {
        return;
    }
    RegDeleteValueA(run.handle, RunValueName);
}
