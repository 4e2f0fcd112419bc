#include <gtest/gtest.h>

#include <string>

#include "engine/file_install.h"
#include "engine/install_paths.h"
#include "engine/wininit.h"

TEST(UnderscoreName, ReplacesTheLastCharacter) {
    struct Case {
        const char* name;
        const char* expected;
    } cases[] = {
        {"Orbelo.exe", "Orbelo.ex_"},
        {"sub\\install.inf", "sub\\install.in_"},
        {"a", "_"},
        {"", ""},
        // A double-byte last character is replaced whole, never split.
        {"\x83\x5C", "_"},
        {"read\x95\x5C", "read_"},
    };
    for (const Case& c : cases) EXPECT_EQ(UnderscoreName(c.name), ByteString(c.expected)) << c.name;
}

TEST(GetSourceName, FollowsTheSourceCode) {
    struct Case {
        const char* name;
        const char* code;
        const char* expected;
        bool optional;
    } cases[] = {
        {"Orbelo.exe", "1", "Orbelo.ex_", false},
        {"Orbelo.exe", "0", "Orbelo.ex_", true},
        {"Orbelo.exe", "05", "Orbelo.ex_", true},
        {"Orbelo.exe", "N", "", false},
        {"Orbelo.exe", "No", "", false},
        {"Orbelo.exe", "n", "Orbelo.ex_", false},  // codes are case-sensitive
        {"Orbelo.exe", "9,Other.ex_", "Other.ex_", false},
        {"Orbelo.exe", "9,a,b", "a,b", false},     // split at the first comma only
        {"Orbelo.exe", "9x,\x83\x5C.dat", "\x83\x5C.dat", false},
        {"Orbelo.exe", "9,sub\\Other.ex_", "sub\\Other.ex_", false},
        // A package file outside the extraction directory is never read.
        {"Orbelo.exe", "9,..\\Other.exe", "", false},
        {"Orbelo.exe", "9,C:\\Other.exe", "", false},
        {"Orbelo.exe", "9,\\\\server\\share\\Other.exe", "", false},
        // Without a name after the comma the entry is still installed.
        {"Orbelo.exe", "9", "Orbelo.ex_", false},
        {"Orbelo.exe", "9,", "Orbelo.ex_", false},
        {"Orbelo.exe", "2", "Orbelo.ex_", false},  // unknown codes are required
        {"Orbelo.exe", "", "Orbelo.ex_", false},
    };
    for (const Case& c : cases) {
        SetupConfig config;
        config.CopyList.Add(c.name);
        config.CopyTypes.Add(c.code);
        bool optional = !c.optional;
        EXPECT_EQ(GetSourceName(config, 0, &optional), ByteString(c.expected)) << c.code;
        EXPECT_EQ(optional, c.optional) << c.code;
    }
    SetupConfig empty;
    bool optional = true;
    EXPECT_EQ(GetSourceName(empty, 0, &optional), ByteString(""));
    EXPECT_FALSE(optional);
}

TEST(IsSamePath, IgnoresAsciiCaseOnly) {
    EXPECT_TRUE(IsSamePath("C:\\Prog\\a.exe", "c:\\prog\\A.EXE"));
    EXPECT_FALSE(IsSamePath("C:\\Prog\\a.exe", "C:\\Prog\\a.ex_"));
    // Full-width letters are not folded: "Ａ" (82 60) and "ａ" (82 81).
    EXPECT_FALSE(IsSamePath("\x82\x60", "\x82\x81"));
}

TEST(TrailingBackslash, OnlyARealBackslashCounts) {
    EXPECT_EQ(WithTrailingBackslash("C:\\dir"), ByteString("C:\\dir\\"));
    EXPECT_EQ(WithTrailingBackslash("C:\\dir\\"), ByteString("C:\\dir\\"));
    EXPECT_EQ(WithTrailingBackslash(""), ByteString(""));
    // "ソ" ends in 0x5C, which is no backslash.
    EXPECT_EQ(WithTrailingBackslash("C:\\\x83\x5C"), ByteString("C:\\\x83\x5C\\"));
    EXPECT_EQ(WithoutTrailingBackslash("C:\\\x83\x5C"), ByteString("C:\\\x83\x5C"));
    EXPECT_EQ(WithoutTrailingBackslash("C:\\\x83\x5C\\"), ByteString("C:\\\x83\x5C"));
    EXPECT_EQ(WithoutTrailingBackslash("C:\\"), ByteString("C:"));
}

TEST(FormatDirTemplate, HonoursOneDirectoryAndPercentPercentOnly) {
    struct Case {
        const char* format;
        const char* expected;
    } cases[] = {
        {"-u -p \"%s\"", "-u -p \"D:\\P Q\""},
        {"", ""},
        {"%s %s", "D:\\P Q %s"},
        {"100%% %s", "100% D:\\P Q"},
        {"%d %n %x %5s %-s", "%d %n %x %5s %-s"},
        {"end%", "end%"},
        {"%%s", "%s"},
        {"%", "%"},
        {"\x83\x25%s", "\x83\x25" "D:\\P Q"},  // 0x25 as a trail byte is no "%"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDirTemplate(c.format, "D:\\P Q"), ByteString(c.expected)) << c.format;
    }
}

TEST(UninstallCommand, ProgramPathFirstQuotedThenBlankThenArguments) {
    struct Case {
        const char* installDir;
        const char* program;
        const char* args;
        const char* expected;
    } cases[] = {
        {"C:\\Program Files\\Quorvane\\Orbelo_Sample\\", "install.exe", "-u -p \"%s\"",
         "\"C:\\Program Files\\Quorvane\\Orbelo_Sample\\install.exe\" -u -p "
         "\"C:\\Program Files\\Quorvane\\Orbelo_Sample\""},
        {"C:\\P\\", "install.exe", "", "\"C:\\P\\install.exe\" "},
        {"C:\\", "u.exe", "-p %s", "\"C:\\u.exe\" -p C:"},
        {"C:\\P\\", "u.exe", "%s%%%d", "\"C:\\P\\u.exe\" C:\\P%%d"},
        // A 0x5C trail byte at the end of the directory is no separator.
        {"C:\\\x95\x5C\\", "install.exe", "-u -p \"%s\"",
         "\"C:\\\x95\x5C\\install.exe\" -u -p \"C:\\\x95\x5C\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(BuildUninstallCommand(c.installDir, c.program, c.args), ByteString(c.expected))
            << c.args;
    }
}

TEST(WininitRename, AddsALineWithoutReplacingEarlierOnes) {
    struct Case {
        const char* before;
        const char* after;
    } cases[] = {
        {"", "[Rename]\r\nNUL=C:\\t\\x.exe\r\n"},
        {"[Rename]\r\nNUL=C:\\old\r\n",
         "[Rename]\r\nNUL=C:\\old\r\nNUL=C:\\t\\x.exe\r\n"},
        // The section ends at the next header; blank lines stay before it.
        {"[rename]\r\nNUL=a\r\n\r\n[Other]\r\nk=v\r\n",
         "[rename]\r\nNUL=a\r\nNUL=C:\\t\\x.exe\r\n\r\n[Other]\r\nk=v\r\n"},
        {"[Other]\nk=v", "[Other]\nk=v\r\n[Rename]\r\nNUL=C:\\t\\x.exe\r\n"},
        {"  [RENAME]  ", "  [RENAME]  \r\nNUL=C:\\t\\x.exe\r\n"},
        {"[Renamed]\r\n", "[Renamed]\r\n[Rename]\r\nNUL=C:\\t\\x.exe\r\n"},
    };
    for (const Case& c : cases) {
        ByteString result;
        ASSERT_TRUE(AddRenameDeletion(c.before, strlen(c.before), "C:\\t\\x.exe", &result));
        EXPECT_EQ(std::string(result.c_str()), std::string(c.after)) << c.before;
    }
}

TEST(WininitRename, RefusesPathsThatWouldAddLines) {
    ByteString result("unchanged");
    EXPECT_FALSE(AddRenameDeletion("", 0, "C:\\a\r\n[boot]", &result));
    EXPECT_FALSE(AddRenameDeletion("", 0, "C:\\a\nx", &result));
    EXPECT_FALSE(AddRenameDeletion("", 0, "", &result));
    EXPECT_EQ(result, ByteString("unchanged"));
}
