#include "cmdline/ArgumentTokenizer.h"
#include "support/Recorders.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Split {
    std::string input;
    std::vector<std::string> arguments;
};

// Q stands for a double quote, to keep the table readable.
std::string Q(std::string text) {
    for (char& c : text) {
        if (c == 'Q') {
            c = '"';
        }
    }
    return text;
}

const Split SplitTable[] = {
    {"", {}},
    {"   ", {}},
    {"-u360 mouse", {"-u360", "mouse"}},
    {"  -exit  ", {"-exit"}},
    {Q("-u360 Qjoy 4wayQ"), {"-u360", "joy 4way"}},
    {Q("aQb xQd e"), {"ab xd", "e"}},
    {Q("aQQb"), {"ab"}},
    {Q("QQ"), {""}},
    {Q("QQ QQ"), {"", ""}},
    {Q("Qabc"), {"abc"}},
    {Q("Qa b"), {"a b"}},
    {"a\\b", {"a\\b"}},
    {"a\tb\nx\rd", {"a", "b", "x", "d"}},
    {"a\vb", {"a\vb"}},
    {Q("xQ Qy"), {"x y"}},
    {"\xE9t\xE9 \xFF", {"\xE9t\xE9", "\xFF"}},
    {"a\fb", {"a\fb"}},
};

TEST(ArgumentTokenizer, SplitsAsTheTableSays) {
    CommandLineRecorder recorder;
    for (std::size_t row = 0; row < std::size(SplitTable); ++row) {
        const Split& expected = SplitTable[row];
        int count = -1;
        char** vector = ArgumentTokenizer(expected.input.c_str(), &count);
        ASSERT_NE(vector, nullptr) << "row " << row;
        ASSERT_EQ(count, static_cast<int>(expected.arguments.size())) << "row " << row;
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(vector[i], expected.arguments[i]) << "row " << row << " argument " << i;
        }
        EXPECT_EQ(vector[count], nullptr) << "row " << row << ": the slot after the last argument";
        ReleaseArgumentVector(vector);
    }
    EXPECT_EQ(CommandLineRecorder::allocations.size(), std::size(SplitTable));
    EXPECT_EQ(CommandLineRecorder::releases, static_cast<int>(std::size(SplitTable)));
}

TEST(ArgumentTokenizer, FailedAllocationGivesNoVectorAndNoCount) {
    CommandLineRecorder recorder;
    CommandLineRecorder::failAllocation = true;
    int count = 7;
    EXPECT_EQ(ArgumentTokenizer("-u360 mouse", &count), nullptr);
    EXPECT_EQ(count, 0);
    ReleaseArgumentVector(nullptr);
    EXPECT_EQ(CommandLineRecorder::releases, 0);
}

} // namespace
