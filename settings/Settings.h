#pragma once
#include <windows.h>

// The choices carried from one run to the next in Velmora.ini.
struct Settings {
    int LaunchOnStartup;
    int MouseDrag;
    int ReverseMouse;
    char U360MapFile[256];
    char ServoMapFile[256];
};

extern Settings AppSettings;

// Full path of Velmora.ini; empty when the program directory gives no usable
// path, and then nothing is read or written.
extern char SettingsPath[MAX_PATH];

// Fills AppSettings from the file; absent keys take their defaults, and so
// does everything when the file exists but cannot be read, after a few
// seconds of asking again (another program may hold it for a moment).
void LoadSettings(const char* path);
// Writes the five keys of AppSettings: all of them when the last load read
// the file, else only those changed since, so that choices it never read are
// not overwritten. Failed writes are dropped.
void SaveSettings(const char* path);

// Reads key into buffer (default when absent). Gives 0 when nothing was read;
// otherwise 1, or with expected given, whether the value equals it ignoring
// the case of ASCII letters.
int ReadIniValue(const char* path, char* buffer, DWORD capacity, const char* section,
                 const char* key, const char* defaultText, const char* expected);
int WriteIniValue(const char* path, const char* section, const char* key, const char* value);

// Forms ProgramDirectory + "Velmora.ini" into destination (MAX_PATH bytes);
// false, with destination empty, when the result would not fit.
bool BuildSettingsPath(const char* directory, char* destination);
