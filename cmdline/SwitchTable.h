#pragma once

// The switches of the last loaded command line, each with the tokens that
// followed it. Keys keep their leading '-' and match exactly, case included;
// entries are kept in byte order of their keys. The table owns copies of all
// its strings; what it hands out stays valid until the next load.
class SwitchTable {
  public:
    SwitchTable() = default;
    ~SwitchTable();
    SwitchTable(const SwitchTable&) = delete;
    SwitchTable& operator=(const SwitchTable&) = delete;

    static bool LooksLikeSwitch(const char* token);

    // Empties the table and fills it from count tokens; gives the number of
    // distinct switches. A repeated switch keeps its first argument. With no
    // memory left it gives -1, and the table holds what was loaded so far.
    int LoadArguments(int count, const char* const* vector);

    bool Contains(const char* name) const;

    // Argument index of the switch, or null when there is none.
    const char* Argument(const char* name, unsigned index) const;

    // Argument index of the switch, or fallback ("" for null).
    const char* ArgumentOr(const char* name, unsigned index, const char* fallback) const;

  private:
    struct Entry {
        const char* key;
        const char** args;
        unsigned count;
        unsigned capacity;
    };
    void Clear();
    unsigned LowerBound(const char* name) const;
    const Entry* Find(const char* name) const;
    Entry* Insert(const char* key); // a new entry for a key not yet held; null without memory
    static bool Append(Entry& entry, const char* argument);

    char* text = nullptr; // copies of the loaded tokens, one after another
    Entry* entries = nullptr;
    unsigned entryCount = 0;
    unsigned entryCapacity = 0;
};

// The one table every dispatch loads; defined with the other process-wide objects.
extern SwitchTable AppSwitchTable;
