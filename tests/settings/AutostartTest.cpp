#include "settings/Autostart.h"
#include "settings/ProgramDirectory.h"
#include "settings/RegistryKey.h"
#include "support/Probes.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

TEST(Autostart, OnOffOnWritesDeletesAndWritesAgain) {
    {
        RegistryKey run;
        ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, RunKeyPath, &run.handle), ERROR_SUCCESS);
        RegSetValueExA(run.handle, RunValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>("other"),
                       6);
    }

    char module[MAX_PATH];
    ASSERT_TRUE(ReadModulePath(module));
    char expected[MAX_PATH + 2];
    const std::size_t length = StartupCommandFor(module, expected, sizeof expected);
    ASSERT_GT(length, 0u);

    AddStartupEntry();
    DWORD type = 0, size = 0;
    EXPECT_EQ(RunValue(&type, &size), expected) << "another program's value is overwritten";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, length + 1);

    RemoveStartupEntry();
    EXPECT_EQ(RunValue(), "<absent>");
    RemoveStartupEntry(); // nothing to delete: no harm
    EXPECT_EQ(RunValue(), "<absent>");

    AddStartupEntry();
    EXPECT_EQ(RunValue(), expected);
    RemoveStartupEntry();
}

TEST(Autostart, APathWithBlanksIsQuoted) {
    const struct {
        const char* path;
        const char* command;
    } rows[] = {
        {"C:\\Games\\Velmora.exe", "C:\\Games\\Velmora.exe"},
        {"C:\\Program Files\\Velmora\\Velmora.exe", "\"C:\\Program Files\\Velmora\\Velmora.exe\""},
        {"C:\\Velmora.exe", "C:\\Velmora.exe"},
    };
    for (const auto& row : rows) {
        char out[MAX_PATH + 2];
        EXPECT_EQ(StartupCommandFor(row.path, out, sizeof out), std::strlen(row.command));
        EXPECT_STREQ(out, row.command);
    }
    char small[10];
    EXPECT_EQ(StartupCommandFor("C:\\a b\\x.exe", small, sizeof small), 0u);
    EXPECT_EQ(StartupCommandFor("C:\\Games\\Velmora.exe", small, sizeof small), 0u);
}

} // namespace
