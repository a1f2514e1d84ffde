#include "cmdline/SwitchTable.h"

#include <cstring>

bool SwitchTable::LooksLikeSwitch(const char* token) {
    return token != nullptr && token[0] == '-' && token[1] != '\0' &&
           !(token[1] >= '0' && token[1] <= '9');
}

int SwitchTable::LoadArguments(int count, const char* const* vector) {
    entries.clear();
    try {
        std::string current;
        for (int i = 0; i < count; ++i) {
            if (LooksLikeSwitch(vector[i])) {
                current = vector[i];
                std::string candidate;
                if (i + 1 < count && !LooksLikeSwitch(vector[i + 1])) {
                    candidate = vector[++i];
                }
                SwitchArgs args;
                if (!candidate.empty()) {
                    args.push_back(candidate);
                }
                entries.emplace(current, std::move(args)); // keeps an existing entry
            } else {
                auto entry = entries.find(current);
                if (entry != entries.end()) {
                    entry->second.push_back(vector[i]);
                }
            }
        }
    } catch (...) {
        // Out of memory: the table holds what was loaded so far.
    }
    return static_cast<int>(entries.size());
}

bool SwitchTable::Contains(const char* name) const {
    return entries.count(name) != 0;
}

std::string SwitchTable::RequireArgument(const char* name, unsigned index) const {
    auto entry = entries.find(name);
    if (entry == entries.end() || index >= entry->second.size()) {
        throw 0;
    }
    return entry->second[index];
}

std::string SwitchTable::ArgumentOr(const char* name, unsigned index,
                                    const char* fallback) const noexcept {
    try {
        return RequireArgument(name, index);
    } catch (...) {
        // No such argument, or no memory for its copy: the fallback.
    }
    try {
        return fallback != nullptr ? fallback : "";
    } catch (...) {
        return std::string();
    }
}
