#include "settings/Settings.h"

#include <cstring>

Settings AppSettings;
char SettingsPath[MAX_PATH];

static const char SectionName[] = "General";

// Another program may hold the file for a moment (a virus scanner or a sync
// tool at log-on): it is asked for this many times more, this far apart,
// before the defaults are taken.
static constexpr int HeldFileRetries = 8;
static constexpr DWORD HeldFileRetryMilliseconds = 500;

// What the last load gave, and whether it could read the file at all: a save
// writes back only what it read or what has changed since, so a file that
// could not be read keeps the user's choices.
static Settings Loaded;
static bool FileRead = false;

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

// Whether the file's choices can be read: it is absent (the defaults are
// the choices), or it opens for reading, now or within the retries.
static bool Readable(const char* path) {
    for (int retry = 0;; ++retry) {
        const DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            return false;
        }
        HANDLE file =
            CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (retry == HeldFileRetries) {
            return false;
        }
        Sleep(HeldFileRetryMilliseconds);
    }
}

void LoadSettings(const char* path) {
    AppSettings = Settings{};
    std::strcpy(AppSettings.U360MapFile, "mouse");
    std::strcpy(AppSettings.ServoMapFile, "joy4way");
    // A bare file name would make the profile calls use the Windows directory.
    FileRead = path[0] != '\0' && Readable(path);
    if (FileRead) {
        AppSettings.LaunchOnStartup = ReadFlag(path, "LaunchOnStartup");
        AppSettings.MouseDrag = ReadFlag(path, "MouseDrag");
        AppSettings.ReverseMouse = ReadFlag(path, "ReverseMouse");
        ReadName(path, AppSettings.U360MapFile, "U360MapFile", "mouse");
        ReadName(path, AppSettings.ServoMapFile, "ServoMapFile", "joy4way");
    }
    Loaded = AppSettings;
}

static const char* FlagText(int flag) {
    return flag != 0 ? "True" : "False";
}

static void SaveFlag(const char* path, const char* key, int now, int loaded) {
    if (FileRead || (now != 0) != (loaded != 0)) {
        WriteIniValue(path, SectionName, key, FlagText(now));
    }
}

static void SaveName(const char* path, const char* key, const char* now, const char* loaded) {
    if (FileRead || std::strcmp(now, loaded) != 0) {
        WriteIniValue(path, SectionName, key, now);
    }
}

void SaveSettings(const char* path) {
    if (path[0] == '\0') {
        return;
    }
    SaveFlag(path, "LaunchOnStartup", AppSettings.LaunchOnStartup, Loaded.LaunchOnStartup);
    SaveFlag(path, "MouseDrag", AppSettings.MouseDrag, Loaded.MouseDrag);
    SaveFlag(path, "ReverseMouse", AppSettings.ReverseMouse, Loaded.ReverseMouse);
    SaveName(path, "U360MapFile", AppSettings.U360MapFile, Loaded.U360MapFile);
    SaveName(path, "ServoMapFile", AppSettings.ServoMapFile, Loaded.ServoMapFile);
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
