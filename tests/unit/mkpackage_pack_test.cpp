// mkpackage pack, run as the built tool: names, times, refusals, exit codes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

class MkpackagePackTest : public MkpackageTest {
protected:
    void SetUp() override {
        MkpackageTest::SetUp();
        if (HasFatalFailure()) return;
        MakeDirectory("one");
        MakeDirectory("two");
    }
};

TEST_F(MkpackagePackTest, StoresBaseNamesWithTheirModificationTimes) {
    std::string inf = Put("one/install.inf", "[Setup]\r\n", 1000);
    std::string rtf = Put("two/start.rtf", "{\\rtf1}", 2000);
    // UTF-8 bytes of "表" (sources are compiled to code page 932).
    std::string kanji = Put("\xE8\xA1\xA8.txt", "k", 2500);
    std::string out = dir_ + "/setup.exe";
    Outcome outcome = Run("pack --stub '" + stub_ + "' -o '" + out + "' '" + inf + "' '" + rtf +
                          "' '" + kanji + "'");
    ASSERT_EQ(outcome.status, 0);
    std::vector<Entry> entries = Entries(out);
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].name, "install.exe");
    EXPECT_EQ(entries[0].data, MinimalImage());
    EXPECT_EQ(entries[0].time, 3000);  // the stub's own time
    EXPECT_EQ(entries[1].name, "install.inf");
    EXPECT_EQ(entries[1].time, 1000);
    EXPECT_EQ(entries[2].name, "start.rtf");
    EXPECT_EQ(entries[2].data, "{\\rtf1}");
    EXPECT_EQ(entries[2].time, 2000);
    EXPECT_EQ(entries[3].name, "\x95\x5C.txt");  // code page 932, 0x5C trail byte
}

TEST_F(MkpackagePackTest, SourceDateEpochCapsTimesAndTimeOptionFixesTheStubs) {
    std::string inf = Put("install.inf", "[Setup]\r\n", 1000);
    std::string rtf = Put("start.rtf", "{\\rtf1}", 2000);
    std::string out = dir_ + "/capped.exe";
    std::string files = " '" + inf + "' '" + rtf + "'";
    ASSERT_EQ(Run("pack --stub '" + stub_ + "' -o '" + out + "'" + files, "SOURCE_DATE_EPOCH=1500")
                  .status,
              0);
    std::vector<Entry> capped = Entries(out);
    ASSERT_EQ(capped.size(), 3u);
    EXPECT_EQ(capped[0].time, 1500);
    EXPECT_EQ(capped[1].time, 1000);
    EXPECT_EQ(capped[2].time, 1500);

    ASSERT_EQ(Run("pack --time 4000 --stub '" + stub_ + "' -o '" + out + "'" + files,
                  "SOURCE_DATE_EPOCH=1500")
                  .status,
              0);
    EXPECT_EQ(Entries(out)[0].time, 4000);
}

TEST_F(MkpackagePackTest, RefusalsReportEveryProblemAndWriteNothing) {
    std::string empty = Put("one/empty.txt", "", 1000);
    std::string spaced = Put("one/spaced.txt", " x", 1000);
    std::string first = Put("one/read.me", "a", 1000);
    std::string second = Put("two/READ.ME", "b", 1000);
    std::string trailing = Put("trailing.exe", MinimalImage() + "junk", 1000);
    std::string out = dir_ + "/refused.exe";
    Outcome refused = Run("pack --stub '" + trailing + "' -o '" + out + "' '" + empty + "' '" +
                          spaced + "' '" + first + "' '" + second + "' '" + dir_ + "/missing.txt'");
    EXPECT_EQ(refused.status, 1);
    // Stub, empty file, white space, duplicate, missing file.
    EXPECT_EQ(refused.ErrorLines().size(), 5u);
    for (const std::string& line : refused.ErrorLines()) {
        EXPECT_EQ(line.compare(0, 15, "mkpackage pack:"), 0) << line;
    }
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".partial"));

    // A name that code page 932 cannot write (U+1F600), besides an empty file.
    std::string emoji = Put("\xF0\x9F\x98\x80.txt", "x", 1000);
    Outcome unnamed =
        Run("pack --stub '" + stub_ + "' -o '" + out + "' '" + emoji + "' '" + empty + "'");
    EXPECT_EQ(unnamed.status, 1);
    ASSERT_EQ(unnamed.ErrorLines().size(), 2u);
    EXPECT_NE(unnamed.ErrorLines()[0].find("code page 932"), std::string::npos);
    EXPECT_NE(unnamed.ErrorLines()[1].find("empty"), std::string::npos);
    EXPECT_FALSE(Exists(out));

    Outcome badEpoch = Run("pack --stub '" + stub_ + "' -o '" + out + "' '" + first + "'",
                           "SOURCE_DATE_EPOCH=soon");
    EXPECT_EQ(badEpoch.status, 2);
    EXPECT_FALSE(Exists(out));
}

TEST_F(MkpackagePackTest, UsageErrorsExitWithTwo) {
    std::string file = Put("f.txt", "x", 1000);
    const std::string cases[] = {
        "",
        "unpack",
        "pack -o out.exe '" + file + "'",
        "pack --stub '" + stub_ + "' '" + file + "'",
        "pack --stub '" + stub_ + "' -o '" + dir_ + "/o.exe'",
        "pack --stub '" + stub_ + "' -o '" + dir_ + "/o.exe' --time -1 '" + file + "'",
        "pack --stub '" + stub_ + "' -o '" + dir_ + "/o.exe' --time 2147483648 '" + file + "'",
        "pack --stub '" + stub_ + "' -o '" + dir_ + "/o.exe' --force '" + file + "'",
    };
    for (const std::string& arguments : cases) {
        SCOPED_TRACE(arguments);
        Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_FALSE(outcome.ErrorLines().empty());
    }
    EXPECT_FALSE(Exists(dir_ + "/o.exe"));
}

}  // namespace
