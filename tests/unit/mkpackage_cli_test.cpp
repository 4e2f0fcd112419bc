// mkpackage's command line as its users expect it: help and version on
// standard output with status 0, the usage line with every usage error on
// standard error with status 2.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using MkpackageCliTest = MkpackageTest;

TEST_F(MkpackageCliTest, HelpAndVersionGoToStandardOutputWithStatusZero) {
    const struct {
        const char* arguments;
        const char* shown;
    } cases[] = {
        {"--help", "mkpackage extract PACKAGE DIR [--expand] [--force]"},
        {"-h", "mkpackage pack --stub STUB"},
        {"help", "mkpackage compress FILE..."},
        {"help build", "mkpackage build --script DIR/install.inf"},
        {"help extract", "never written through"},
        {"build --help", "[--plain NAME]... [--compress NAME]..."},
        {"list --help", "mkpackage list PACKAGE"},
        {"pack -o x --help", "mkpackage pack --stub STUB"},
        {"expand --help", "mkpackage expand FILE... [-o DIR]"},
        {"--version", "mkpackage 1."},
        {"-V", "mkpackage 1."},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.arguments);
        Outcome outcome = Run(test.arguments);
        EXPECT_EQ(outcome.status, 0);
        EXPECT_TRUE(Contains(outcome.out, test.shown)) << outcome.out;
        EXPECT_EQ(outcome.err, "");
        if (Contains(test.arguments, "help") || test.arguments[1] == 'h') {
            EXPECT_TRUE(Contains(outcome.out, "exit status: 0 done, 1 refused")) << outcome.out;
        }
    }
    // One command's help names no other command.
    EXPECT_FALSE(Contains(Run("help list").out, "mkpackage pack"));
    // After "--" it is a file name like any other.
    Outcome file = Run("pack --stub '" + stub_ + "' -o '" + dir_ + "/out.exe' -- --help");
    EXPECT_EQ(file.status, 1);
    EXPECT_TRUE(Contains(file.err, "--help")) << file.err;
}

TEST_F(MkpackageCliTest, EveryUsageErrorShowsTheUsageLine) {
    const struct {
        const char* arguments;
        const char* message;
        const char* usage;
    } cases[] = {
        {"", "no command given", "usage: mkpackage COMMAND"},
        {"frobnicate", "unknown command 'frobnicate'", "usage: mkpackage COMMAND"},
        {"help frobnicate", "unknown command 'frobnicate'", "usage: mkpackage COMMAND"},
        {"build --script", "--script needs a file", "usage: mkpackage build"},
        {"build --bogus", "unexpected argument '--bogus'", "usage: mkpackage build"},
        {"list", "one PACKAGE is needed", "usage: mkpackage list PACKAGE"},
        {"list --bogus", "unknown option --bogus", "usage: mkpackage list PACKAGE"},
        {"extract a.exe", "a PACKAGE and a DIR are needed", "usage: mkpackage extract"},
        {"extract --bogus a b", "unknown option '--bogus'", "usage: mkpackage extract"},
        {"pack -o x.exe a", "no --stub given", "usage: mkpackage pack"},
        {"compress", "no FILE given", "usage: mkpackage compress FILE..."},
        {"expand -o", "-o needs a directory", "usage: mkpackage expand FILE..."},
        {"compress --bogus a", "unknown option '--bogus'", "usage: mkpackage compress"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.arguments);
        Outcome outcome = Run(test.arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_TRUE(Contains(outcome.err, test.message)) << outcome.err;
        EXPECT_TRUE(Contains(outcome.err, test.usage)) << outcome.err;
        EXPECT_EQ(outcome.out, "");
    }
}

}  // namespace
