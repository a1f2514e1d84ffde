// Tokenizer, switch table and dispatcher together, against a model of the
// rules written apart from them: the defaults, the first occurrence of a
// switch winning, exact-case matching, and the order help / u360 / servo / exit.
#include "FuzzSeam.h"

#include "cmdline/ArgumentTokenizer.h"
#include "cmdline/CommandDispatcher.h"
#include "cmdline/SwitchTable.h"
#include "devices/U360ModeTable.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

SwitchTable g_switchTable;

namespace {

bool IsSwitch(const std::string& token) {
    return token.size() >= 2 && token[0] == '-' && !(token[1] >= '0' && token[1] <= '9');
}

// The arguments each switch collects, in a plain list rather than a map.
struct Collected {
    std::string name;
    std::vector<std::string> args;
};

std::vector<Collected> Collect(const std::vector<std::string>& tokens) {
    std::vector<Collected> table;
    auto find = [&table](const std::string& name) -> Collected* {
        for (Collected& c : table) {
            if (c.name == name) {
                return &c;
            }
        }
        return nullptr;
    };
    std::string current;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (IsSwitch(tokens[i])) {
            current = tokens[i];
            std::string candidate;
            if (i + 1 < tokens.size() && !IsSwitch(tokens[i + 1])) {
                candidate = tokens[++i];
            }
            if (find(current) == nullptr) {
                table.push_back({current, {}});
                if (!candidate.empty()) {
                    table.back().args.push_back(candidate);
                }
            }
        } else if (Collected* entry = find(current)) {
            entry->args.push_back(tokens[i]);
        }
    }
    return table;
}

std::vector<std::string> Expected(const std::vector<std::string>& tokens) {
    const std::vector<Collected> table = Collect(tokens);
    auto get = [&table](const char* name) -> const Collected* {
        for (const Collected& c : table) {
            if (c.name == name) {
                return &c;
            }
        }
        return nullptr;
    };
    std::vector<std::string> effects;
    if (table.empty()) {
        return effects;
    }
    if (get("-help")) {
        effects.push_back("box Help 0");
        return effects;
    }
    if (const Collected* u360 = get("-u360")) {
        const std::string map = u360->args.empty() ? "mouse" : u360->args[0];
        effects.push_back("map " + map);
        for (const ModeEntry& row : U360ModeTable) {
            effects.push_back("check " + std::to_string(row.commandId) + " 0");
            if (map == row.name) {
                effects.push_back("check " + std::to_string(row.commandId) + " 1");
            }
        }
    }
    if (const Collected* servo = get("-servo")) {
        const std::string mode = servo->args.empty() ? "joy4way" : servo->args[0];
        effects.push_back(mode == "joy4way" ? "servo 32784" : "servo 32783");
    }
    if (get("-exit")) {
        effects.push_back("close");
    }
    return effects;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* text = input.c_str();

    // The tokens, as the tokenizer gives them (its own fuzzer checks it).
    g_blocks.clear();
    int count = 0;
    char** vector = ArgumentTokenizer(text, &count);
    std::vector<std::string> tokens(vector, vector + count);
    ReleaseArgumentVector(vector);

    g_effects.clear();
    ProcessCommandLine(text);
    if (!g_blocks.empty()) {
        std::abort(); // the vector was not released exactly once
    }
    if (g_effects != Expected(tokens)) {
        std::abort();
    }
    return 0;
}
