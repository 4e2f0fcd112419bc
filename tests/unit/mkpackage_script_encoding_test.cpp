// mkpackage build and the encoding of the setup script: the package always
// carries code page 932, which is what the installer reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The same script in both encodings; this file's literals are compiled to
// code page 932, so the UTF-8 form is spelled with u8.
const std::string kCp932Script =
    "[Setup]\r\nProgramName=テスト表\r\n[Source]\r\ninstall.inf=1\r\n説明.txt=1\r\n";
const std::string kUtf8Script =
    u8"[Setup]\r\nProgramName=テスト表\r\n[Source]\r\ninstall.inf=1\r\n説明.txt=1\r\n";
const std::string kMark = "\xEF\xBB\xBF";

class MkpackageScriptEncodingTest : public MkpackageTest {
protected:
    void SetUp() override {
        MkpackageTest::SetUp();
        if (HasFatalFailure()) return;
        MakeDirectory("from");
        Put(u8"from/説明.txt", "help", 1000);
    }

    Outcome BuildWith(const std::string& script) {
        Put("from/install.inf", script, 1234);
        return Run("build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                   "/from' --stub '" + stub_ + "' -o '" + dir_ + "/install.exe'");
    }
};

TEST_F(MkpackageScriptEncodingTest, PackagesCarryCodePage932WhateverTheScriptWasSavedAs) {
    const struct {
        const char* what;
        std::string script;
        bool converted;
    } cases[] = {
        {"code page 932, byte for byte", kCp932Script, false},
        {"UTF-8", kUtf8Script, true},
        {"UTF-8 with a byte-order mark", kMark + kUtf8Script, true},
        {"ASCII with a byte-order mark", kMark + "[Source]\r\ninstall.inf=1\r\n", true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        Outcome built = BuildWith(test.script);
        ASSERT_EQ(built.status, 0) << built.err;
        EXPECT_EQ(Contains(built.out, "converted from UTF-8 to code page 932"), test.converted)
            << built.out;
        std::vector<Entry> entries = Entries(dir_ + "/install.exe");
        bool ascii = test.script.find("ProgramName") == std::string::npos;
        ASSERT_EQ(entries.size(), ascii ? 2u : 3u);
        EXPECT_EQ(entries[1].name, "install.inf");
        EXPECT_EQ(entries[1].data, ascii ? "[Source]\r\ninstall.inf=1\r\n" : kCp932Script);
        EXPECT_EQ(entries[1].time, 1234);  // the script's own time, not the conversion's
        if (!ascii) {
            EXPECT_EQ(entries[2].name, "説明.txt");
        }
        // No working file stays beside the package.
        EXPECT_EQ(system(("test -z \"$(ls -d '" + dir_ + "'/install.exe.* 2>/dev/null)\"").c_str()),
                  0);
    }
}

TEST_F(MkpackageScriptEncodingTest, ScriptsTheInstallerCouldNotReadAreRefusedWithTheReason) {
    const struct {
        const char* what;
        std::string script;
        const char* message;
    } cases[] = {
        {"a character without a code page 932 form",
         u8"[Setup]\r\nProgramName=A\r\nReadme=caf\u00e9.txt\r\n",
         "install.inf: line 3: the character U+00E9 has no code page 932 form"},
        {"one in the first line, after the mark", kMark + u8"; \U0001F600\r\n[Source]\r\n",
         "install.inf: line 1: the character U+1F600 has no code page 932 form"},
        {"a mark before text that is no UTF-8", kMark + "[Setup]\r\n\r\nProgramName=\x95\x5C\r\n",
         "install.inf: the script begins with a UTF-8 byte-order mark, but line 3 is no UTF-8"},
        {"UTF-16 cut in the middle of a character", std::string("\xFF\xFE[\0\n\0S", 7),
         "install.inf: the script begins with a UTF-16 byte-order mark, but line 2 is no UTF-16"},
        {"UTF-16 with a character without a code page 932 form",
         std::string("\xFF\xFE[\0\n\0\xE9\0", 8),
         "install.inf: line 2: the character U+00E9 has no code page 932 form"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        Outcome refused = BuildWith(test.script);
        EXPECT_EQ(refused.status, 1);
        EXPECT_TRUE(Contains(refused.err, test.message)) << refused.err;
        EXPECT_TRUE(Contains(refused.err, "save the script as Shift-JIS")) << refused.err;
        EXPECT_FALSE(Exists(dir_ + "/install.exe"));
    }
}

}  // namespace
