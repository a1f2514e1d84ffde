#include "cmdline/ProgramArguments.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

// The arguments after the program name of a whole process command line.
TEST(ProgramArgumentsTest, SkipsTheProgramNameByTheWindowsRules) {
    const struct {
        const char* commandLine;
        const char* arguments;
    } rows[] = {
        {"", ""},
        {"Velmora.exe", ""},
        {"Velmora.exe -u360 joy4way", "-u360 joy4way"},
        {"Velmora.exe \t  -exit ", "-exit "},
        {"\"C:\\Program Files\\Velmora.exe\" -servo", "-servo"},
        {"\"C:\\Program Files\\Velmora.exe\"-servo", "-servo"},
        {"\"C:\\Unclosed quote -servo", ""},
        {"Z:\\M\xFCller\\Velmora.exe -u360 joy4way", "-u360 joy4way"},
        {"Z:\\\xE3\x82\xB2\xE3\x83\xBC\xE3\x83\xA0\\Velmora.exe\t-help", "-help"},
        {"Velmora.exe \"-u360\" joy4way", "\"-u360\" joy4way"},
    };
    for (std::size_t row = 0; row < std::size(rows); ++row) {
        EXPECT_STREQ(ProgramArguments(rows[row].commandLine), rows[row].arguments) << "row " << row;
    }
}

} // namespace
