#include "cmdline/SwitchTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Loads tokens into a fresh table.
int Load(SwitchTable& table, const std::vector<std::string>& tokens) {
    std::vector<const char*> vector;
    for (const std::string& token : tokens) {
        vector.push_back(token.c_str());
    }
    vector.push_back(nullptr);
    return table.LoadArguments(static_cast<int>(tokens.size()), vector.data());
}

// All arguments of a switch, read through ArgumentOr until the fallback shows.
std::vector<std::string> ArgumentsOf(const SwitchTable& table, const char* name) {
    std::vector<std::string> args;
    for (unsigned i = 0;; ++i) {
        std::string value = table.ArgumentOr(name, i, "<none>");
        if (value == "<none>") {
            return args;
        }
        args.push_back(value);
    }
}

struct Entry {
    const char* key;
    std::vector<std::string> args;
};
struct LoadRow {
    std::vector<std::string> tokens;
    std::vector<Entry> entries;
};

const LoadRow LoadTable[] = {
    {{}, {}},
    {{"mouse", "joy4way"}, {}},
    {{"-u360", "mouse"}, {{"-u360", {"mouse"}}}},
    {{"-u360"}, {{"-u360", {}}}},
    {{"-u360", "-exit"}, {{"-u360", {}}, {"-exit", {}}}},
    {{"-u360", "mouse", "analog"}, {{"-u360", {"mouse", "analog"}}}},
    {{"-u360", "mouse", "-u360", "joy4way"}, {{"-u360", {"mouse"}}}},
    {{"-u360", "mouse", "-u360", "joy4way", "x"}, {{"-u360", {"mouse", "x"}}}},
    {{"-servo", "-5"}, {{"-servo", {"-5"}}}},
    {{"-u360", "mouse", "-1"}, {{"-u360", {"mouse", "-1"}}}},
    {{"-u360", "-", "mouse"}, {{"-u360", {"-", "mouse"}}}},
    {{"stray", "-exit"}, {{"-exit", {}}}},
    {{"-u360", "", "mouse"}, {{"-u360", {"mouse"}}}},
    {{"-u360", "mouse", "", "x"}, {{"-u360", {"mouse", "", "x"}}}},
    {{"-HELP"}, {{"-HELP", {}}}},
    {{"--", "x"}, {{"--", {"x"}}}},
    {{"-\xE9", "x"}, {{"-\xE9", {"x"}}}},
};

TEST(SwitchTable, LoadsAsTheTableSays) {
    for (std::size_t row = 0; row < std::size(LoadTable); ++row) {
        const LoadRow& expected = LoadTable[row];
        SwitchTable table;
        EXPECT_EQ(Load(table, expected.tokens), static_cast<int>(expected.entries.size()))
            << "row " << row;
        for (const Entry& entry : expected.entries) {
            EXPECT_TRUE(table.Contains(entry.key)) << "row " << row << " key " << entry.key;
            EXPECT_EQ(ArgumentsOf(table, entry.key), entry.args)
                << "row " << row << " key " << entry.key;
        }
    }
}

TEST(SwitchTable, LooksLikeSwitch) {
    const struct {
        const char* token;
        bool isSwitch;
    } rows[] = {{nullptr, false}, {"", false},  {"-", false},    {"-5", false},   {"-12", false},
                {"--", true},     {"-x", true}, {"-u360", true}, {"u360", false}, {"-\x80", true},
                {"-9x", false},   {"-/", true}, {"-:", true}};
    for (const auto& row : rows) {
        EXPECT_EQ(SwitchTable::LooksLikeSwitch(row.token), row.isSwitch)
            << (row.token ? row.token : "(null)");
    }
}

TEST(SwitchTable, MatchingIsExactAndCaseSensitive) {
    SwitchTable table;
    Load(table, {"-HELP", "-u360", "mouse"});
    EXPECT_FALSE(table.Contains("-help"));
    EXPECT_FALSE(table.Contains("-u36"));
    EXPECT_FALSE(table.Contains("-U360"));
    EXPECT_TRUE(table.Contains("-HELP"));
}

TEST(SwitchTable, ArgumentOrFallsBack) {
    SwitchTable table;
    Load(table, {"-u360", "mouse", "analog"});
    EXPECT_STREQ(table.ArgumentOr("-u360", 0, "fb"), "mouse");
    EXPECT_STREQ(table.ArgumentOr("-u360", 1, "fb"), "analog");
    EXPECT_STREQ(table.ArgumentOr("-u360", 2, "fb"), "fb");
    EXPECT_STREQ(table.ArgumentOr("-u360", 0xFFFFFFFFu, "fb"), "fb");
    EXPECT_STREQ(table.ArgumentOr("-servo", 0, "fb"), "fb");
    EXPECT_STREQ(table.ArgumentOr("-servo", 0, nullptr), "");

    Load(table, {"-u360"});
    EXPECT_STREQ(table.ArgumentOr("-u360", 0, "mouse"), "mouse");
    EXPECT_EQ(table.Argument("-u360", 0), nullptr) << "an absent argument";
    EXPECT_EQ(table.Argument("-servo", 0), nullptr) << "an absent switch";
}

TEST(SwitchTable, AThousandSwitchesGivenInReverseAreEachFound) {
    std::vector<std::string> tokens;
    for (int i = 999; i >= 0; --i) {
        tokens.push_back("-s" + std::to_string(i));
        tokens.push_back("a" + std::to_string(i));
    }
    SwitchTable table;
    EXPECT_EQ(Load(table, tokens), 1000);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_STREQ(table.ArgumentOr(("-s" + std::to_string(i)).c_str(), 0, ""),
                     ("a" + std::to_string(i)).c_str());
    }
}

TEST(SwitchTable, ASecondLoadReplacesTheFirst) {
    SwitchTable table;
    Load(table, {"-exit"});
    EXPECT_EQ(Load(table, {"-u360", "mouse"}), 1);
    EXPECT_FALSE(table.Contains("-exit"));
    EXPECT_TRUE(table.Contains("-u360"));
}

} // namespace
