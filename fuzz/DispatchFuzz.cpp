// Tokenizer, switch table and dispatcher together, against a model of the
// rules written apart from them. The input is a list of tokens (split at the
// byte 0x01) that this fuzzer quotes into a command line itself; the model
// works on the tokens, the program on the text, and their end states must
// agree: the usage box, the map, the checked item, the ServoStik mode and
// whether the main window was asked to close.
#include "FuzzSeam.h"

#include "cmdline/CommandDispatcher.h"
#include "cmdline/SwitchTable.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

SwitchTable AppSwitchTable;

namespace {

// The menu command of each map name, as the tray menu lists them.
const std::map<std::string, int> MapCommands = {
    {"mouse", 32774},       {"analog", 32775},  {"joy8way", 32776},
    {"easyjoy8way", 32777}, {"joy4way", 32778}, {"djoy4way", 32779},
    {"rdjoy4way", 32780},   {"joy2way", 32781}, {"vjoy2way", 32782}};
constexpr int Servo8Way = 32783, Servo4Way = 32784;

struct EndState {
    bool usage = false;
    std::string map;       // empty: no map applied
    std::set<int> checked; // UltraStik 360 items
    int servo = 0;         // 0: no ServoStik call
    bool close = false;
    bool operator==(const EndState& other) const {
        return usage == other.usage && map == other.map && checked == other.checked &&
               servo == other.servo && close == other.close;
    }
};

std::vector<std::string> Tokens(const std::string& input) {
    std::vector<std::string> tokens(1);
    for (char c : input) {
        if (c == '\x01') {
            tokens.emplace_back();
        } else if (c != '"' && c != '\0') { // no escape exists for a quote
            tokens.back() += c;
        }
    }
    return tokens;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The tokens as one command line: a token that is empty or holds a separator
// is quoted whole.
std::string Quoted(const std::vector<std::string>& tokens) {
    std::string text;
    for (const std::string& token : tokens) {
        bool quote = token.empty();
        for (char c : token) {
            quote = quote || IsSeparator(c);
        }
        text += (text.empty() ? "" : " ") + (quote ? "\"" + token + "\"" : token);
    }
    return text;
}

bool IsSwitch(const std::string& token) {
    return token.size() >= 2 && token[0] == '-' && !(token[1] >= '0' && token[1] <= '9');
}

// The rules, by groups: each switch token heads a group of the ordinary tokens
// that follow it. A switch's arguments are its first group's tokens (the
// first of them left out when empty), then the tokens of its later groups but
// the first of each, which the later occurrence took and dropped. Tokens
// before the first switch belong to no one.
std::map<std::string, std::optional<std::string>>
FirstArguments(const std::vector<std::string>& tokens) {
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const std::string& token : tokens) {
        if (IsSwitch(token)) {
            groups.push_back({token, {}});
        } else if (!groups.empty()) {
            groups.back().second.push_back(token);
        }
    }
    std::map<std::string, std::vector<std::string>> arguments;
    for (const auto& [name, group] : groups) {
        const bool first = arguments.count(name) == 0;
        std::vector<std::string>& list = arguments[name];
        for (std::size_t k = 0; k < group.size(); ++k) {
            if (k > 0 || (first && !group[k].empty())) {
                list.push_back(group[k]);
            }
        }
    }
    std::map<std::string, std::optional<std::string>> firstArgument;
    for (const auto& [name, list] : arguments) {
        firstArgument[name] = list.empty() ? std::nullopt : std::optional<std::string>(list[0]);
    }
    return firstArgument;
}

EndState Model(const std::vector<std::string>& tokens) {
    const auto firstArgument = FirstArguments(tokens);
    EndState state;
    if (firstArgument.count("-help")) {
        state.usage = true;
        return state;
    }
    if (auto u360 = firstArgument.find("-u360"); u360 != firstArgument.end()) {
        state.map = u360->second.value_or("mouse");
        if (auto command = MapCommands.find(state.map); command != MapCommands.end()) {
            state.checked.insert(command->second);
        }
    }
    if (auto servo = firstArgument.find("-servo"); servo != firstArgument.end()) {
        const bool fourWay = servo->second.value_or("joy4way") == "joy4way";
        state.servo = fourWay ? Servo4Way : Servo8Way;
    }
    state.close = firstArgument.count("-exit") != 0;
    return state;
}

// What the recorded effects leave behind.
EndState Observed(const std::vector<std::string>& effects) {
    EndState state;
    for (const std::string& effect : effects) {
        if (effect.rfind("box ", 0) == 0) {
            state.usage = true;
        } else if (effect.rfind("map ", 0) == 0) {
            state.map = effect.substr(4);
        } else if (effect.rfind("check ", 0) == 0) {
            const int id = std::atoi(effect.c_str() + 6);
            if (effect.back() == '1') {
                state.checked.insert(id);
            } else {
                state.checked.erase(id);
            }
        } else if (effect.rfind("servo ", 0) == 0) {
            state.servo = std::atoi(effect.c_str() + 6);
        } else if (effect == "close") {
            state.close = true;
        }
    }
    return state;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> tokens =
        Tokens(std::string(reinterpret_cast<const char*>(data), size));
    const std::string text = Quoted(tokens);

    LiveBlocks.clear();
    RecordedEffects.clear();
    ProcessCommandLine(text.c_str());
    if (!LiveBlocks.empty()) {
        std::abort(); // the vector was not released exactly once
    }
    if (!(Observed(RecordedEffects) == Model(tokens))) {
        std::abort();
    }
    return 0;
}
