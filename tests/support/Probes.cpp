#include "support/Probes.h"

#include "settings/Autostart.h"
#include "settings/RegistryKey.h"

#include <sstream>

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string IniValue(const std::string& path, const char* key) {
    char value[400] = {};
    GetPrivateProfileStringA("General", key, "<absent>", value, sizeof value, path.c_str());
    return value;
}

std::string RunValue(DWORD* type, DWORD* size) {
    RegistryKey run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_QUERY_VALUE, &run.handle) !=
        ERROR_SUCCESS) {
        return "<absent>";
    }
    char data[600] = {};
    DWORD dataSize = sizeof data;
    DWORD dataType = 0;
    const LONG status = RegQueryValueExA(run.handle, RunValueName, nullptr, &dataType,
                                         reinterpret_cast<BYTE*>(data), &dataSize);
    if (type != nullptr) {
        *type = dataType;
    }
    if (size != nullptr) {
        *size = dataSize;
    }
    return status == ERROR_SUCCESS ? std::string(data) : "<absent>";
}

void DeleteRunValue() {
    RegistryKey run;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, RunKeyPath, 0, KEY_SET_VALUE, &run.handle) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(run.handle, RunValueName);
    }
}

std::string TestProgramDirectory() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory = path;
    return directory.substr(0, directory.find_last_of('\\') + 1);
}
