#include "cmdline/SwitchTable.h"

#include <cstdlib>
#include <cstring>

// Plain C allocation: the table grows without exceptions, and a failed
// allocation simply ends the load.
namespace {

template <typename T> bool Grow(T*& array, unsigned& capacity, unsigned needed) {
    if (needed <= capacity) {
        return true;
    }
    const unsigned larger = capacity == 0 ? 4 : capacity * 2;
    const unsigned wanted = larger > needed ? larger : needed;
    void* grown = std::realloc(array, wanted * sizeof(T));
    if (grown == nullptr) {
        return false;
    }
    array = static_cast<T*>(grown);
    capacity = wanted;
    return true;
}

} // namespace

SwitchTable::~SwitchTable() {
    Clear();
}

void SwitchTable::Clear() {
    for (unsigned i = 0; i < entryCount; ++i) {
        std::free(entries[i].args);
    }
    std::free(entries);
    std::free(text);
    entries = nullptr;
    text = nullptr;
    entryCount = entryCapacity = 0;
}

bool SwitchTable::LooksLikeSwitch(const char* token) {
    return token != nullptr && token[0] == '-' && token[1] != '\0' &&
           !(token[1] >= '0' && token[1] <= '9');
}

// The first entry whose key does not order before name. strcmp orders bytes as
// unsigned values, a proper prefix first.
unsigned SwitchTable::LowerBound(const char* name) const {
    unsigned low = 0, high = entryCount;
    while (low < high) {
        const unsigned middle = (low + high) / 2;
        if (std::strcmp(entries[middle].key, name) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

const SwitchTable::Entry* SwitchTable::Find(const char* name) const {
    const unsigned at = LowerBound(name);
    return at < entryCount && std::strcmp(entries[at].key, name) == 0 ? &entries[at] : nullptr;
}

SwitchTable::Entry* SwitchTable::Insert(const char* key) {
    const unsigned at = LowerBound(key);
    if (!Grow(entries, entryCapacity, entryCount + 1)) {
        return nullptr;
    }
    std::memmove(&entries[at + 1], &entries[at], (entryCount - at) * sizeof(Entry));
    entries[at] = Entry{key, nullptr, 0, 0};
    ++entryCount;
    return &entries[at];
}

bool SwitchTable::Append(Entry& entry, const char* argument) {
    if (!Grow(entry.args, entry.capacity, entry.count + 1)) {
        return false;
    }
    entry.args[entry.count++] = argument;
    return true;
}

int SwitchTable::LoadArguments(int count, const char* const* vector) {
    constexpr int OutOfMemory = -1;
    Clear();
    std::size_t size = 0;
    for (int i = 0; i < count; ++i) {
        size += std::strlen(vector[i]) + 1;
    }
    text = static_cast<char*>(std::malloc(size > 0 ? size : 1));
    if (text == nullptr) {
        return OutOfMemory;
    }
    // The tokens' copies, in order; the table points into them from here on.
    char* next = text;
    auto copy = [&next](const char* token) {
        const std::size_t length = std::strlen(token) + 1;
        std::memcpy(next, token, length);
        const char* copied = next;
        next += length;
        return copied;
    };
    const char* current = nullptr; // the key of the most recent switch
    for (int i = 0; i < count; ++i) {
        if (LooksLikeSwitch(vector[i])) {
            const char* key = copy(vector[i]);
            const char* candidate = nullptr;
            if (i + 1 < count && !LooksLikeSwitch(vector[i + 1])) {
                candidate = copy(vector[++i]);
            }
            if (const Entry* existing = Find(key)) {
                current = existing->key; // its list is neither replaced nor extended here
                continue;
            }
            Entry* added = Insert(key);
            if (added == nullptr) {
                return OutOfMemory; // what was loaded so far stays
            }
            current = key;
            if (candidate != nullptr && candidate[0] != '\0' && !Append(*added, candidate)) {
                return OutOfMemory;
            }
        } else if (current != nullptr) {
            auto* entry = const_cast<Entry*>(Find(current));
            if (entry != nullptr && !Append(*entry, copy(vector[i]))) {
                return OutOfMemory;
            }
        }
    }
    return static_cast<int>(entryCount);
}

bool SwitchTable::Contains(const char* name) const {
    return Find(name) != nullptr;
}

const char* SwitchTable::Argument(const char* name, unsigned index) const {
    const Entry* entry = Find(name);
    return entry != nullptr && index < entry->count ? entry->args[index] : nullptr;
}

const char* SwitchTable::ArgumentOr(const char* name, unsigned index, const char* fallback) const {
    const char* argument = Argument(name, index);
    if (argument != nullptr) {
        return argument;
    }
    return fallback != nullptr ? fallback : "";
}
