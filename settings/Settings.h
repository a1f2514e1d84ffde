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
// does everything when the file exists but cannot be read: after a few
// seconds of asking again while another program holds it (a scanner at
// log-on), at once when it can never be opened. Sleeps meanwhile: call it
// before the thread has windows that others wait on.
void LoadSettings(const char* path);

enum class SaveResult {
    Unchanged, // the file holds the choices already: nothing written
    Written,
    Failed, // held by another program, or not writable: the next save tries again
};
// Brings the file up to AppSettings once a choice differs from what the file
// gives (an absent key gives its default): then every key the last load read
// whose line would change, absent ones added; of the others (a file it could
// not read) only the choices changed since, so that what it never read stays.
// Writes a whole copy beside it, flushes it and puts it in the file's place,
// so that a power cut leaves the old choices or the new ones, every key
// whole. Other sections, keys, comments and the file's encoding stay.
SaveResult SaveSettings(const char* path);

// Reads key into buffer (default when absent). Gives 0 when nothing was read;
// otherwise 1, or with expected given, whether the value equals it ignoring
// the case of ASCII letters.
int ReadIniValue(const char* path, char* buffer, DWORD capacity, const char* section,
                 const char* key, const char* defaultText, const char* expected);
int WriteIniValue(const char* path, const char* section, const char* key, const char* value);

// Forms ProgramDirectory + "Velmora.ini" into destination (MAX_PATH bytes);
// false, with destination empty, when the result would not fit.
bool BuildSettingsPath(const char* directory, char* destination);
