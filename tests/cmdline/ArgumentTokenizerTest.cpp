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

TEST(ArgumentTokenizer, OneBlockSizedFromTheInputLength) {
    CommandLineRecorder recorder;
    const std::size_t pointer = sizeof(char*);
    // Empty input: two pointer slots and two bytes.
    EXPECT_EQ(ArgumentBlockSize(0), 2 * pointer + 2);
    for (std::size_t length : {1u, 2u, 3u, 10u, 11u, 1000u}) {
        const std::size_t slots = (length + 2) / 2 + 1;
        EXPECT_EQ(ArgumentPointerSlots(length), slots) << "length " << length;
        EXPECT_EQ(ArgumentBlockSize(length), slots * pointer + length + 2) << "length " << length;

        // The worst inputs for the slots ("a a a ...") and the character area
        // (one long argument) both fit: every argument lies inside the block.
        std::string many;
        for (std::size_t i = 0; i < length; ++i) {
            many += (i % 2 == 0) ? 'a' : ' ';
        }
        for (const std::string& input : {many, std::string(length, 'x')}) {
            CommandLineRecorder::allocations.clear();
            int count = 0;
            char** vector = ArgumentTokenizer(input.c_str(), &count);
            ASSERT_EQ(CommandLineRecorder::allocations.size(), 1u);
            const std::size_t size = CommandLineRecorder::allocations[0];
            EXPECT_EQ(size, ArgumentBlockSize(length));
            EXPECT_LE(static_cast<std::size_t>(count) + 1, slots);
            const char* begin = reinterpret_cast<const char*>(vector);
            for (int i = 0; i < count; ++i) {
                const char* end = vector[i] + std::strlen(vector[i]);
                EXPECT_GE(vector[i], begin + slots * pointer);
                EXPECT_LT(end, begin + size) << "argument " << i << " of " << length;
            }
            ReleaseArgumentVector(vector);
        }
    }
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
