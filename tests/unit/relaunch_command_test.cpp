#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "app/relaunch_command.h"

namespace {

SetupCommandLine Parse(const char* commandLine) {
    StringList arguments;
    SplitCommandLine(commandLine, arguments);
    SetupCommandLine parser;
    for (size_t i = 1; i < arguments.Count(); ++i) parser.ParseArgument(arguments[i].c_str());
    return parser;
}

}  // namespace

// The copy must read back exactly the installation directory, whatever the
// temporary directory looks like.
TEST(RelaunchCommandTest, TheCopyReadsBackTheSameInstallationDirectory) {
    struct Case {
        const char* installDir;
        const char* expected;
    } cases[] = {
        {"C:\\Program Files\\Quorvane\\Orbelo_Sample\\",
         "C:\\Program Files\\Quorvane\\Orbelo_Sample\\"},
        {"C:\\dir\\", "C:\\dir\\"},
        {"C:\\dir", "C:\\dir\\"},
        {"D:\\a b\\c  d\\", "D:\\a b\\c  d\\"},
        {"C:\\\x95\x5C\x8E\xA6\\", "C:\\\x95\x5C\x8E\xA6\\"},  // a 0x5C trail byte inside
        {"C:\\\x83\x5C\\", "C:\\\x83\x5C\\"},  // a real backslash after a 0x5C trail byte
        {"C:\\", "C:\\"},
    };
    const char* tempPaths[] = {
        "C:\\TEMP\\Del1A.tmp",
        "C:\\Documents and Settings\\user name\\Local Settings\\Temp\\Del2F.tmp",
        "C:\\users\\-p x\\Temp\\Del3.tmp",  // pieces that look like switches
        "C:\\Users\\Ann -sato\\Temp\\Del4.tmp",
        "C:\\Users\\x -u -p \\Temp\\Del5.tmp",
    };
    const int32_t handles[] = {4, 1234, 0x7FFFFFFF};
    for (const Case& c : cases) {
        for (const char* tempPath : tempPaths) {
            for (int32_t handle : handles) {
                char line[kRelaunchCommandSize];
                ASSERT_TRUE(BuildRelaunchCommand(tempPath, c.installDir, handle, line));
                SetupCommandLine parsed = Parse(line);
                EXPECT_TRUE(parsed.UninstallMode) << line;
                EXPECT_FALSE(parsed.SilentMode) << line;
                EXPECT_TRUE(parsed.HasInstallDir) << line;
                EXPECT_EQ(parsed.InstallDir, ByteString(c.expected)) << line;
                EXPECT_EQ(parsed.ParentProcess, handle) << line;
            }
        }
    }
}

// The longest paths that the platform hands out do not fit together: the
// line is refused whole, never cut into another directory.
TEST(RelaunchCommandTest, ALineLongerThanTheBufferIsRefused) {
    // The longest installation directory that the start-up accepts.
    std::string dir = "C:\\" + std::string(kMaxDirectoryLength - 4, 'd') + "\\";
    ASSERT_EQ(dir.size(), kMaxDirectoryLength);
    // Quotes + tempPath + " -u -p \" " + dir + " \" -c " + "1234" + zero =
    // the buffer.
    size_t tempLength = kRelaunchCommandSize - 1 - dir.size() - 2 - 9 - 6 - 4;
    std::string tempPath = "C:\\" + std::string(tempLength - 12, 't') + "\\Del1.tmp";
    ASSERT_EQ(tempPath.size(), tempLength);
    char line[kRelaunchCommandSize];
    ASSERT_TRUE(BuildRelaunchCommand(tempPath.c_str(), dir.c_str(), 1234, line));
    EXPECT_EQ(strlen(line), kRelaunchCommandSize - 1);
    EXPECT_EQ(Parse(line).InstallDir, ByteString(dir.c_str()));

    tempPath.insert(3, "t");
    EXPECT_FALSE(BuildRelaunchCommand(tempPath.c_str(), dir.c_str(), 1234, line));
    EXPECT_STREQ(line, "");
}
