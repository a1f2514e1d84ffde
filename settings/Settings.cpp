#include "settings/Settings.h"

#include <cstring>

Settings g_settings;
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
        g_settings = Settings{};
        std::strcpy(g_settings.U360MapFile, "mouse");
        std::strcpy(g_settings.ServoMapFile, "joy4way");
        return;
    }
    g_settings.LaunchOnStartup = ReadFlag(path, "LaunchOnStartup");
    g_settings.MouseDrag = ReadFlag(path, "MouseDrag");
    g_settings.ReverseMouse = ReadFlag(path, "ReverseMouse");
    ReadName(path, g_settings.U360MapFile, "U360MapFile", "mouse");
    ReadName(path, g_settings.ServoMapFile, "ServoMapFile", "joy4way");
}

static const char* FlagText(int flag) {
    return flag != 0 ? "True" : "False";
}

void SaveSettings(const char* path) {
    if (path[0] == '\0') {
        return;
    }
    WriteIniValue(path, SectionName, "LaunchOnStartup", FlagText(g_settings.LaunchOnStartup));
    WriteIniValue(path, SectionName, "MouseDrag", FlagText(g_settings.MouseDrag));
    WriteIniValue(path, SectionName, "ReverseMouse", FlagText(g_settings.ReverseMouse));
    WriteIniValue(path, SectionName, "U360MapFile", g_settings.U360MapFile);
    WriteIniValue(path, SectionName, "ServoMapFile", g_settings.ServoMapFile);
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
