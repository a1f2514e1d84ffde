#include "settings/Settings.h"

#include <cstring>

Settings AppSettings;
char SettingsPath[MAX_PATH];

static const char SectionName[] = "General";

static char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

static bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

int ReadIniValue(const char* path, char* buffer, DWORD capacity, const char* section,
                 const char* key, const char* defaultText, const char* expected) {
    if (GetPrivateProfileStringA(section, key, defaultText, buffer, capacity, path) == 0) {
        return 0;
    }
    if (expected == nullptr) {
        return 1;
    }
    return EqualIgnoringAsciiCase(buffer, expected) ? 1 : 0;
}

int WriteIniValue(const char* path, const char* section, const char* key, const char* value) {
    return WritePrivateProfileStringA(section, key, value, path) ? 1 : 0;
}

static int ReadFlag(const char* path, const char* key) {
    char scratch[MAX_PATH];
    return ReadIniValue(path, scratch, sizeof scratch, SectionName, key, "False", "True");
}

static void ReadName(const char* path, char (&field)[256], const char* key, const char* fallback) {
    // The profile call cuts a longer value to 255 bytes and terminates it.
    field[0] = '\0';
    ReadIniValue(path, field, sizeof field, SectionName, key, fallback, nullptr);
}

void LoadSettings(const char* path) {
    if (path[0] == '\0') {
        // A bare file name would make the profile calls use the Windows directory.
        AppSettings = Settings{};
        std::strcpy(AppSettings.U360MapFile, "mouse");
        std::strcpy(AppSettings.ServoMapFile, "joy4way");
        return;
    }
    AppSettings.LaunchOnStartup = ReadFlag(path, "LaunchOnStartup");
    AppSettings.MouseDrag = ReadFlag(path, "MouseDrag");
    AppSettings.ReverseMouse = ReadFlag(path, "ReverseMouse");
    ReadName(path, AppSettings.U360MapFile, "U360MapFile", "mouse");
    ReadName(path, AppSettings.ServoMapFile, "ServoMapFile", "joy4way");
}

static const char* FlagText(int flag) {
    return flag != 0 ? "True" : "False";
}

void SaveSettings(const char* path) {
    if (path[0] == '\0') {
        return;
    }
    WriteIniValue(path, SectionName, "LaunchOnStartup", FlagText(AppSettings.LaunchOnStartup));
    WriteIniValue(path, SectionName, "MouseDrag", FlagText(AppSettings.MouseDrag));
    WriteIniValue(path, SectionName, "ReverseMouse", FlagText(AppSettings.ReverseMouse));
    WriteIniValue(path, SectionName, "U360MapFile", AppSettings.U360MapFile);
    WriteIniValue(path, SectionName, "ServoMapFile", AppSettings.ServoMapFile);
}

bool BuildSettingsPath(const char* directory, char* destination) {
    static const char FileName[] = "Velmora.ini";
    const std::size_t dirLength = std::strlen(directory);
    destination[0] = '\0';
    if (dirLength == 0 || dirLength + sizeof FileName > MAX_PATH) {
        return false; // never cut into a different file name
    }
    std::memcpy(destination, directory, dirLength);
    std::memcpy(destination + dirLength, FileName, sizeof FileName);
    return true;
}
