#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

StringList Split(const char* commandLine) {
    StringList arguments;
    SplitCommandLine(commandLine, arguments);
    return arguments;
}

SetupCommandLine Parse(const char* commandLine) {
    StringList arguments = Split(commandLine);
    SetupCommandLine parser;
    for (size_t i = 1; i < arguments.Count(); ++i) parser.ParseArgument(arguments[i].c_str());
    return parser;
}

}  // namespace

TEST(SplitCommandLineTest, FollowsTheRuntimeRules) {
    struct Case {
        const char* commandLine;
        std::vector<const char*> expected;
    } cases[] = {
        {"install.exe", {"install.exe"}},
        {"\"C:\\Program Files\\x\\install.exe\" -u", {"C:\\Program Files\\x\\install.exe", "-u"}},
        {"a.exe  one\t two  ", {"a.exe", "one", "two"}},
        {"a.exe \"a b\" c", {"a.exe", "a b", "c"}},
        {"a.exe a\\\\\\\"b", {"a.exe", "a\\\"b"}},      // 3 backslashes + quote
        {"a.exe \"a\\\\\" b", {"a.exe", "a\\", "b"}},    // 2 backslashes + quote
        {"a.exe a\\b\\\\c", {"a.exe", "a\\b\\\\c"}},     // no quote: literal
        {"a.exe \"a\"\"b\" c", {"a.exe", "a\"b", "c"}},  // "" inside quotes
        {"a.exe \"\"", {"a.exe", ""}},
        {"a.exe -p \" C:\\dir\\ \"", {"a.exe", "-p", " C:\\dir\\ "}},
        // The trail byte 0x5C of "ソ" before a quote does not escape it.
        {"a.exe \"C:\\\x83\x5C\" x", {"a.exe", "C:\\\x83\x5C", "x"}},
        {"\"C:\\\x83\x5C\\a.exe\" x", {"C:\\\x83\x5C\\a.exe", "x"}},
    };
    for (const Case& c : cases) {
        StringList arguments = Split(c.commandLine);
        ASSERT_EQ(arguments.Count(), c.expected.size()) << c.commandLine;
        for (size_t i = 0; i < arguments.Count(); ++i) {
            EXPECT_EQ(arguments[i], ByteString(c.expected[i])) << c.commandLine << " #" << i;
        }
    }
}

TEST(SetupCommandLineTest, SwitchesAndPendingValues) {
    SetupCommandLine p = Parse("x.exe -c 1234 -p x");
    EXPECT_EQ(p.ParentProcess, 1234);  // -p does not clear HandlePending
    EXPECT_EQ(p.InstallDir, ByteString("x\\"));

    p = Parse("x.exe -u -p C:\\dir -s");
    EXPECT_TRUE(p.UninstallMode);
    EXPECT_TRUE(p.SilentMode);
    EXPECT_EQ(p.InstallDir, ByteString("C:\\dir\\"));

    p = Parse("x.exe -p \" C:\\dir\\ \"");
    EXPECT_EQ(p.InstallDir, ByteString("C:\\dir\\"));

    p = Parse("x.exe -p a b");  // PathPending stays: the last one wins
    EXPECT_EQ(p.InstallDir, ByteString("b\\"));

    p = Parse("x.exe -p -x a");  // any switch clears PathPending
    EXPECT_FALSE(p.HasInstallDir);

    p = Parse("x.exe -p \"   \"");
    EXPECT_EQ(p.InstallDir, ByteString("\\"));

    p = Parse("x.exe /u /s -U -S");  // "/" works too; names are case-sensitive
    EXPECT_TRUE(p.UninstallMode);
    EXPECT_TRUE(p.SilentMode);

    p = Parse("x.exe -U");
    EXPECT_FALSE(p.UninstallMode);

    p = Parse("x.exe -c abc");
    EXPECT_EQ(p.ParentProcess, 0);

    p = Parse("x.exe -uninstall -silent");  // only the first character counts
    EXPECT_TRUE(p.UninstallMode);
    EXPECT_TRUE(p.SilentMode);
}

TEST(SetupCommandLineTest, TrailByteBackslashIsNotADirectoryEnd) {
    SetupCommandLine p = Parse("x.exe -p C:\\\x83\x5C");  // C:\ソ
    EXPECT_EQ(p.InstallDir, ByteString("C:\\\x83\x5C\\"));
}

TEST(SetupCommandLineTest, OverlongDirectoryIsRefusedNotCut) {
    std::string longDir = "C:\\" + std::string(300, 'a');
    std::string commandLine = "x.exe -u -p " + longDir;
    SetupCommandLine p = Parse(commandLine.c_str());
    EXPECT_FALSE(p.HasInstallDir);
    EXPECT_TRUE(p.InstallDir.IsEmpty());
    std::string fits = "C:\\" + std::string(255, 'a');  // 258 bytes + backslash
    p = Parse(("x.exe -p " + fits).c_str());
    EXPECT_TRUE(p.HasInstallDir);
    EXPECT_EQ(p.InstallDir.Length(), 259u);
}

// The uninstaller relaunches its temporary copy with this command line; the
// copy must read back exactly the same installation directory.
TEST(SetupCommandLineTest, RelaunchCommandLineRoundTrips) {
    const char* directories[] = {
        "C:\\Program Files\\Quorvane\\Orbelo_Sample\\",
        "C:\\dir\\",
        "D:\\a b\\c  d\\",
        "C:\\\x83\x5C\\",  // ends in a real backslash after a 0x5C trail byte
    };
    const char* tempPaths[] = {"C:\\TEMP\\Del1A.tmp", "C:\\Documents and Settings\\u\\Temp\\Del2.tmp"};
    for (const char* directory : directories) {
        for (const char* tempPath : tempPaths) {
            char commandLine[512];
            snprintf(commandLine, sizeof commandLine, "%s -u -p \" %s \" -c %ld", tempPath,
                     directory, 1234L);
            SetupCommandLine p = Parse(commandLine);
            EXPECT_TRUE(p.UninstallMode) << commandLine;
            EXPECT_EQ(p.InstallDir, ByteString(directory)) << commandLine;
            EXPECT_EQ(p.ParentProcess, 1234) << commandLine;
        }
    }
}

TEST(ModuleNameRuleTest, SelectsTheUninstaller) {
    ModuleNameRule rule = ApplyModuleNameRule("C:\\x\\Uninst.EXE");
    EXPECT_TRUE(rule.StartedAsUninst);
    EXPECT_FALSE(rule.Silent);
    EXPECT_EQ(rule.InstallDir, ByteString("C:\\x\\"));

    rule = ApplyModuleNameRule("D:\\old\\myuninst.exe -s.exe");
    EXPECT_TRUE(rule.StartedAsUninst);
    EXPECT_TRUE(rule.Silent);
    EXPECT_EQ(rule.InstallDir, ByteString("D:\\old\\"));

    rule = ApplyModuleNameRule("C:\\uninst.exe\\install.exe");  // directory names do not count
    EXPECT_FALSE(rule.StartedAsUninst);

    rule = ApplyModuleNameRule("C:\\x\\ -s uninst.exe");  // " -s" before the match does not count
    EXPECT_TRUE(rule.StartedAsUninst);
    EXPECT_FALSE(rule.Silent);
}

TEST(DirectoryOfTest, KeepsTheBackslashAndTrims) {
    EXPECT_EQ(DirectoryOf("C:\\a\\b.exe"), ByteString("C:\\a\\"));
    EXPECT_EQ(DirectoryOf(" C:\\a b\\c.exe"), ByteString("C:\\a b\\"));
    EXPECT_EQ(DirectoryOf("C:\\\x83\x5C.exe"), ByteString("C:\\"));
    EXPECT_EQ(DirectoryOf("b.exe"), ByteString(""));
}
