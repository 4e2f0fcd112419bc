// mkpackage verify: what a release engineer runs before shipping a package.
// The archive has no checksum, so a flipped byte of a plain entry is found
// only against the source files.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class MkpackageVerifyTest : public MkpackageTest {
protected:
    void SetUp() override {
        MkpackageTest::SetUp();
        if (HasFatalFailure()) return;
        MakeDirectory("from");
        MakeDirectory("stubs");
        // A UTF-8 script: packed converted, and still equal to its source.
        Put("from/install.inf",
            u8"[Setup]\r\nProgramName=製品\r\n[Source]\r\ninstall.inf=1\r\ninstall.exe=1\r\n"
            u8"help.txt=1\r\nrandom.bin=1\r\n",
            1000);
        std::string text;
        for (int i = 0; i < 300; ++i)
            text += "a line of help, line " + std::to_string(i % 9) + "\r\n";
        Put("from/help.txt", text, 1000);
        std::mt19937 random(3);
        std::string noise(2000, '\0');
        for (char& c : noise) c = static_cast<char>(random());
        Put("from/random.bin", noise, 1000);
        stub_ = Put("stubs/install.exe", MinimalImage(), 1000);
        package_ = dir_ + "/install.exe";
        Outcome built =
            Run("build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                "/from' --from '" + dir_ + "/stubs' --stub '" + stub_ + "' -o '" + package_ + "'");
        ASSERT_EQ(built.status, 0) << built.err;
        bytes_ = Read(package_);
    }

    // The package with one byte changed at the first place where `inside`
    // occurs in it, plus offset.
    std::string Damaged(const std::string& inside, size_t offset) {
        std::string bytes = bytes_;
        size_t at = bytes.find(inside, MinimalImage().size());
        EXPECT_NE(at, std::string::npos) << inside;
        bytes[at + offset] = static_cast<char>(bytes[at + offset] ^ 0x01);
        return Put("damaged.exe", bytes, 1000);
    }

    std::string From() const { return " --from '" + dir_ + "/from' --from '" + dir_ + "/stubs'"; }

    std::string package_;
    std::string bytes_;
};

TEST_F(MkpackageVerifyTest, ASoundPackageEqualsItsSources) {
    Outcome alone = Run("verify '" + package_ + "'");
    EXPECT_EQ(alone.status, 0) << alone.err;
    EXPECT_TRUE(Contains(alone.out, "4 entries sound")) << alone.out;
    Outcome against = Run("verify '" + package_ + "'" + From());
    EXPECT_EQ(against.status, 0) << against.err;
    EXPECT_TRUE(Contains(against.out, "4 entries sound, 4 equal to their source files"))
        << against.out;
}

TEST_F(MkpackageVerifyTest, AFlippedByteIsFoundWhereverItIs) {
    const struct {
        const char* what;
        std::string inside;  // text the damaged byte follows
        size_t offset;
        int withoutSources;  // the status without --from; -1: either
        const char* message;
    } cases[] = {
        // random.bin is stored plain: only its source can tell.
        {"in a plain entry", "random.bin\r\n", 12 + 700, 0, "random.bin: differs from "},
        // The compressed help: the expansion changes, its length may not.
        {"in a compressed entry", "help.tx_\r\n", 10 + 14 + 100, -1, "help.tx_: differs from "},
        {"in the converted script", "ProgramName=", 12, 0, "install.inf: differs from "},
        {"in a compressed entry's length", "help.tx_\r\n", 10 + 10, 1,
         "help.tx_: compressed data "},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        std::string damaged = Damaged(test.inside, test.offset);
        Outcome alone = Run("verify '" + damaged + "'");
        if (test.withoutSources >= 0) {
            EXPECT_EQ(alone.status, test.withoutSources) << alone.err;
        }
        Outcome against = Run("verify '" + damaged + "'" + From());
        EXPECT_EQ(against.status, 1);
        EXPECT_TRUE(Contains(against.err, "mkpackage verify: " + damaged + ": " + test.message))
            << against.err;
    }
}

TEST_F(MkpackageVerifyTest, AnEntryWithoutASourceIsReported) {
    ASSERT_EQ(remove((dir_ + "/from/random.bin").c_str()), 0);
    Outcome outcome = Run("verify '" + package_ + "'" + From());
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(Contains(outcome.err, "random.bin: no source file of that name")) << outcome.err;
    Outcome usage = Run("verify '" + package_ + "' --from '" + dir_ + "/nowhere'");
    EXPECT_EQ(usage.status, 2);
    EXPECT_TRUE(Contains(usage.err, "usage: mkpackage verify PACKAGE [--from DIR]..."))
        << usage.err;
}

}  // namespace
