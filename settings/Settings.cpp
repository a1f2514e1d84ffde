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

namespace {

enum Key { LaunchKey, MouseDragKey, ReverseMouseKey, U360Key, ServoKey, KeyCount };
const char* const KeyNames[KeyCount] = {"LaunchOnStartup", "MouseDrag", "ReverseMouse",
                                        "U360MapFile", "ServoMapFile"};

// What the file holds of each key, as far as this program knows: what the
// last load read or the last save wrote. Not known for a file the load
// could not read; such a key is written only once its choice changes.
struct KeyInFile {
    bool known;
    bool present;
    char text[sizeof Settings::U360MapFile];
} InFile[KeyCount];
// The choices as the last load left them, against which an unread key's
// change is told.
Settings Loaded;

// No value the file can hold: the profile call's default tells a key that
// is absent from one that is present, however empty.
const char AbsentKey[] = "\x01";

template <std::size_t Size> void CopyText(char (&to)[Size], const char* from) {
    const std::size_t length = strnlen(from, Size - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (FoldAscii(*a) != FoldAscii(*b)) {
            return false;
        }
    }
    return *a == *b;
}

bool HeldByAnother(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Whether the file's choices can be read: it is absent (the defaults are
// the choices), or it opens for reading, now or while another program lets
// go of it within the retries.
bool Readable(const char* path) {
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
        if (!HeldByAnother(GetLastError()) || retry == HeldFileRetries) {
            return false;
        }
        Sleep(HeldFileRetryMilliseconds);
    }
}

// The text a key of the record is written as.
const char* TextOf(const Settings& settings, int key) {
    switch (key) {
    case LaunchKey:
        return settings.LaunchOnStartup != 0 ? "True" : "False";
    case MouseDragKey:
        return settings.MouseDrag != 0 ? "True" : "False";
    case ReverseMouseKey:
        return settings.ReverseMouse != 0 ? "True" : "False";
    case U360Key:
        return settings.U360MapFile;
    default:
        return settings.ServoMapFile;
    }
}

const char* DefaultOf(int key) {
    switch (key) {
    case U360Key:
        return "mouse";
    case ServoKey:
        return "joy4way";
    default:
        return "False";
    }
}

bool IsFlag(int key) {
    return key == LaunchKey || key == MouseDragKey || key == ReverseMouseKey;
}

// Whether the choice the file gives for a key (its default when absent) is
// not the record's. A flag is a choice of true or false, whatever its text.
bool ChoiceChanged(int key) {
    const char* now = TextOf(AppSettings, key);
    if (!InFile[key].known) {
        return std::strcmp(now, TextOf(Loaded, key)) != 0;
    }
    const char* stored = InFile[key].present ? InFile[key].text : DefaultOf(key);
    if (IsFlag(key)) {
        return EqualIgnoringAsciiCase(stored, "True") != EqualIgnoringAsciiCase(now, "True");
    }
    return std::strcmp(stored, now) != 0;
}

// Whether the key's line would change. Once something is written, the keys
// read are written whole: absent ones added, flags in their own words.
bool TextChanged(int key) {
    if (!InFile[key].known) {
        return ChoiceChanged(key);
    }
    return !InFile[key].present || std::strcmp(InFile[key].text, TextOf(AppSettings, key)) != 0;
}

// A file of the same length as path beside it, for the copy that takes its place.
void CopyPathOf(const char* path, char* copy) {
    const std::size_t length = std::strlen(path);
    std::memcpy(copy, path, length + 1);
    copy[length - 1] = copy[length - 1] == '~' ? '_' : '~';
}

// The file's bytes, or none when there is no file; false when it cannot be read.
bool CopyBytes(const char* path, HANDLE copy) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    char block[4096];
    DWORD read = 0;
    DWORD written = 0;
    bool whole = true;
    bool more = true;
    while (whole && more) {
        whole = ReadFile(file, block, sizeof block, &read, nullptr) != 0;
        more = read > 0;
        whole = whole &&
                (!more || (WriteFile(copy, block, read, &written, nullptr) && written == read));
    }
    CloseHandle(file);
    return whole;
}

bool Flush(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool flushed = FlushFileBuffers(file) != 0;
    CloseHandle(file);
    return flushed;
}

bool WriteWhole(const char* path, const bool (&needed)[KeyCount]) {
    char copy[MAX_PATH];
    CopyPathOf(path, copy);
    HANDLE file =
        CreateFileA(copy, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool copied = CopyBytes(path, file);
    CloseHandle(file);
    // The profile calls edit the copy as they would the file: its encoding,
    // comments and every other line stay as they are.
    bool edited = copied;
    for (int key = 0; edited && key < KeyCount; ++key) {
        edited = !needed[key] ||
                 WriteIniValue(copy, SectionName, KeyNames[key], TextOf(AppSettings, key)) != 0;
    }
    // Out of any cache the profile calls keep (a flush that always reports
    // FALSE), onto the disk, then in place.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, copy);
    edited = edited && Flush(copy) &&
             MoveFileExA(copy, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!edited) {
        DeleteFileA(copy);
    }
    return edited;
}

} // namespace

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

void LoadSettings(const char* path) {
    AppSettings = Settings{};
    std::strcpy(AppSettings.U360MapFile, "mouse");
    std::strcpy(AppSettings.ServoMapFile, "joy4way");
    // A bare file name would make the profile calls use the Windows directory.
    const bool read = path[0] != '\0' && Readable(path);
    for (int key = 0; key < KeyCount; ++key) {
        KeyInFile& stored = InFile[key];
        stored.known = read;
        stored.text[0] = '\0';
        if (read) {
            ReadIniValue(path, stored.text, sizeof stored.text, SectionName, KeyNames[key],
                         AbsentKey, nullptr);
        }
        stored.present = read && std::strcmp(stored.text, AbsentKey) != 0;
        if (!stored.present) {
            stored.text[0] = '\0';
            continue;
        }
        switch (key) {
        case LaunchKey:
            AppSettings.LaunchOnStartup = EqualIgnoringAsciiCase(stored.text, "True") ? 1 : 0;
            break;
        case MouseDragKey:
            AppSettings.MouseDrag = EqualIgnoringAsciiCase(stored.text, "True") ? 1 : 0;
            break;
        case ReverseMouseKey:
            AppSettings.ReverseMouse = EqualIgnoringAsciiCase(stored.text, "True") ? 1 : 0;
            break;
        case U360Key:
            CopyText(AppSettings.U360MapFile, stored.text);
            break;
        default:
            CopyText(AppSettings.ServoMapFile, stored.text);
            break;
        }
    }
    Loaded = AppSettings;
}

SaveResult SaveSettings(const char* path) {
    if (path[0] == '\0') {
        return SaveResult::Unchanged;
    }
    bool any = false;
    for (int key = 0; key < KeyCount; ++key) {
        any = any || ChoiceChanged(key);
    }
    if (!any) {
        return SaveResult::Unchanged;
    }
    bool needed[KeyCount] = {};
    for (int key = 0; key < KeyCount; ++key) {
        needed[key] = TextChanged(key);
    }
    if (!WriteWhole(path, needed)) {
        return SaveResult::Failed;
    }
    for (int key = 0; key < KeyCount; ++key) {
        if (needed[key]) {
            InFile[key].known = InFile[key].present = true;
            CopyText(InFile[key].text, TextOf(AppSettings, key));
        }
    }
    return SaveResult::Written;
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
