#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/uninstall_command.h"

namespace {

struct Case {
    const char* command;
    const char* program;
    const char* directory;
    bool passArguments;
    const char* arguments;
    bool namesFile;
};

}  // namespace

TEST(UninstallCommandTest, SplitsTheRegisteredCommand) {
    const Case cases[] = {
        // As the installation registers it: the program path quoted, switches.
        {"\"C:\\Program Files\\Quorvane\\Orbelo_Sample\\install.exe\" -u -p \"C:\\Program "
         "Files\\Quorvane\\Orbelo_Sample\"",
         "C:\\Program Files\\Quorvane\\Orbelo_Sample\\install.exe",
         "C:\\Program Files\\Quorvane\\Orbelo_Sample\\", true,
         "-u -p \"C:\\Program Files\\Quorvane\\Orbelo_Sample\"", true},
        // Quoted, the path is what the quotes hold: " -p" and dots inside it
        // are part of it.
        {"\"C:\\a -p b\\install.exe\" -u -p \"C:\\a -p b\"", "C:\\a -p b\\install.exe",
         "C:\\a -p b\\", true, "-u -p \"C:\\a -p b\"", true},
        {"\"C:\\v1.2\\prog\" -u -p \"C:\\v1.2\"", "C:\\v1.2\\prog", "C:\\v1.2\\", true,
         "-u -p \"C:\\v1.2\"", true},
        {"\"C:\\\x95\x5C\\install.exe\" -u -p \"C:\\\x95\x5C\"", "C:\\\x95\x5C\\install.exe",
         "C:\\\x95\x5C\\", true, "-u -p \"C:\\\x95\x5C\"", true},
        // Quoted arguments without "-p" are still passed; none at all (a
        // script without arguments leaves a blank after the quote).
        {"\"C:\\old\\uninst.exe\" -s", "C:\\old\\uninst.exe", "C:\\old\\", true, "-s", true},
        {"\"C:\\old\\uninst.exe\" ", "C:\\old\\uninst.exe", "C:\\old\\", true, "", true},
        {"\"C:\\old\\uninst.exe\"-u", "C:\\old\\uninst.exe", "C:\\old\\", true, "-u", true},
        // A quote that never closes, or quotes around nothing: no program.
        {"\"C:\\x\\install.exe", "", "", false, "", false},
        {"\"\" -u -p \"C:\\x\"", "", "", true, "-u -p \"C:\\x\"", false},
        {"\"install.exe\" -u", "install.exe", "install.exe", true, "-u", false},
        // As earlier versions registered it: unquoted program path, switches.
        {"C:\\Program Files\\Quorvane\\Orbelo_Sample\\install.exe -u -p \"C:\\Program "
         "Files\\Quorvane\\Orbelo_Sample\"",
         "C:\\Program Files\\Quorvane\\Orbelo_Sample\\install.exe",
         "C:\\Program Files\\Quorvane\\Orbelo_Sample\\", true,
         "-u -p \"C:\\Program Files\\Quorvane\\Orbelo_Sample\"", true},
        // Without "-p" the whole command is the program.
        {"C:\\old\\uninst.exe", "C:\\old\\uninst.exe", "C:\\old\\", false, "", true},
        {"C:\\old\\uninst.exe -u", "C:\\old\\uninst.exe -u", "C:\\old\\", false, "", true},
        // No "." before the switch: the first three characters.
        {"C:\\dir\\prog -u -p \"C:\\dir\"", "C:\\", "C:\\", true, "dir\\prog -u -p \"C:\\dir\"",
         false},
        // A "-p" inside a directory name is not the switch.
        {"C:\\my-programs\\install.exe -u -p \"C:\\my-programs\"",
         "C:\\my-programs\\install.exe", "C:\\my-programs\\", true, "-u -p \"C:\\my-programs\"",
         true},
        // A dot in a directory name: the last one before the switch counts.
        {"C:\\v1.2\\a.b\\install.exe -u -p \"C:\\v1.2\\a.b\"", "C:\\v1.2\\a.b\\install.exe",
         "C:\\v1.2\\a.b\\", true, "-u -p \"C:\\v1.2\\a.b\"", true},
        // Three characters, not bytes: a double-byte extension stays whole.
        {"C:\\d\\a.\x95\x5C\x8E\xA6x -p x", "C:\\d\\a.\x95\x5C\x8E\xA6x", "C:\\d\\", true, "-p x",
         true},
        // A 0x5C trail byte is no directory separator.
        {"C:\\\x95\x5C\\install.exe -u -p \"C:\\\x95\x5C\"", "C:\\\x95\x5C\\install.exe",
         "C:\\\x95\x5C\\", true, "-u -p \"C:\\\x95\x5C\"", true},
        {"C:\\\x95\x5C -p", "C:\\", "C:\\", true, "\x95\x5C -p", false},
        // Nothing registered.
        {"", "", "", false, "", false},
        {"install.exe", "install.exe", "install.exe", false, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        UninstallCommand split = SplitUninstallCommand(c.command);
        EXPECT_EQ(split.ProgramPath, ByteString(c.program));
        EXPECT_EQ(split.Directory, ByteString(c.directory));
        EXPECT_EQ(split.PassArguments, c.passArguments);
        EXPECT_EQ(split.Arguments, ByteString(c.arguments));
        EXPECT_EQ(NamesProgramFile(split), c.namesFile);
    }
}

// The uninstaller started from the rebuilt command line sees its own
// program and the installation directory, with a backslash, as registered.
TEST(UninstallCommandTest, TheRebuiltCommandLineStartsTheUninstallerOnTheSameDirectory) {
    const char* directories[] = {"C:\\Program Files\\Quorvane\\Orbelo_Sample", "C:\\a b\\c",
                                 "C:\\\x95\x5C\x8E\xA6", "C:\\a -p b"};
    for (const char* directory : directories) {
        std::string registered =
            "\"" + std::string(directory) + "\\install.exe\" -u -p \"" + directory + "\"";
        UninstallCommand split = SplitUninstallCommand(registered.c_str());
        char line[kUninstallCommandSize];
        ASSERT_TRUE(BuildUninstallerCommandLine(split, line)) << registered;
        StringList arguments;
        SplitCommandLine(line, arguments);
        ASSERT_GE(arguments.Count(), 1u);
        EXPECT_EQ(arguments[0], ByteString((std::string(directory) + "\\install.exe").c_str()));
        SetupCommandLine parser;
        for (size_t i = 1; i < arguments.Count(); ++i) parser.ParseArgument(arguments[i].c_str());
        EXPECT_TRUE(parser.UninstallMode);
        EXPECT_EQ(parser.InstallDir, ByteString((std::string(directory) + "\\").c_str()));
    }
}

TEST(UninstallCommandTest, ALineLongerThanTheBufferIsRefused) {
    UninstallCommand command;
    command.PassArguments = true;
    command.ProgramPath = "C:\\x\\install.exe";
    // "\"" + program + "\" " + arguments + zero
    std::string arguments(kUninstallCommandSize - 1 - 3 - command.ProgramPath.Length(), 'a');
    command.Arguments = arguments.c_str();
    char line[kUninstallCommandSize];
    ASSERT_TRUE(BuildUninstallerCommandLine(command, line));
    EXPECT_EQ(strlen(line), kUninstallCommandSize - 1);
    command.Arguments.Append('a');
    EXPECT_FALSE(BuildUninstallerCommandLine(command, line));
    EXPECT_STREQ(line, "");
}
