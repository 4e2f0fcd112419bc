// mkpackage pack, run as the built tool: names, times, refusals, exit codes.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/archive.h"
#include "tests/support/pe_image.h"

namespace {

struct Entry {
    std::string name;
    std::string data;
    int32_t time;
};

class Collector : public ExtractSink {
public:
    void Prepare() override {}
    bool Create(const char* name) override {
        entries.push_back(Entry{name, std::string(), 0});
        return true;
    }
    bool Write(const void* data, size_t size) override {
        entries.back().data.assign(static_cast<const char*>(data), size);
        return true;
    }
    bool Stamp(int32_t time) override {
        entries.back().time = time;
        return true;
    }
    bool Finish() override { return true; }
    void Discard() override {}
    std::vector<Entry> entries;
};

struct Outcome {
    int status;
    std::vector<std::string> errorLines;
};

class MkpackagePackTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mkpackage_pack_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        ASSERT_EQ(mkdir((dir_ + "/one").c_str(), 0700), 0);
        ASSERT_EQ(mkdir((dir_ + "/two").c_str(), 0700), 0);
        stub_ = Put("stub.exe", MinimalImage(), 3000);
    }
    void TearDown() override {
        ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0);
    }

    std::string Put(const std::string& name, const std::string& bytes, time_t mtime) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        utimbuf times = {mtime, mtime};
        utime(path.c_str(), &times);
        return path;
    }

    // Runs mkpackage with the arguments (already quoted where needed);
    // environment is prepended as "NAME=value" words, or "-u NAME".
    Outcome Run(const std::string& environment, const std::string& arguments) {
        std::string errors = dir_ + "/stderr.txt";
        std::string command = "env -u SOURCE_DATE_EPOCH " + environment + " '" +
                              INSTALLER_BUILD_DIR "/mkpackage' " + arguments + " 2>'" + errors +
                              "' >/dev/null";
        int raw = system(command.c_str());
        Outcome outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, {}};
        std::ifstream in(errors);
        for (std::string line; std::getline(in, line);) outcome.errorLines.push_back(line);
        return outcome;
    }

    std::vector<Entry> Read(const std::string& package) {
        std::ifstream in(package, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        std::string file = bytes.str();
        MemorySource source(file.data(), file.size());
        Collector collector;
        ArchiveOutcome outcome;
        EXPECT_EQ(ExtractArchive(source, collector, &outcome), kArchiveOk);
        return collector.entries;
    }

    bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    std::string dir_;
    std::string stub_;
};

TEST_F(MkpackagePackTest, StoresBaseNamesWithTheirModificationTimes) {
    std::string inf = Put("one/install.inf", "[Setup]\r\n", 1000);
    std::string rtf = Put("two/start.rtf", "{\\rtf1}", 2000);
    // UTF-8 bytes of "表" (sources are compiled to code page 932).
    std::string kanji = Put("\xE8\xA1\xA8.txt", "k", 2500);
    std::string out = dir_ + "/setup.exe";
    Outcome outcome = Run("", "pack --stub '" + stub_ + "' -o '" + out + "' '" + inf + "' '" + rtf +
                                  "' '" + kanji + "'");
    ASSERT_EQ(outcome.status, 0);
    std::vector<Entry> entries = Read(out);
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
    ASSERT_EQ(Run("SOURCE_DATE_EPOCH=1500", "pack --stub '" + stub_ + "' -o '" + out + "'" + files)
                  .status,
              0);
    std::vector<Entry> capped = Read(out);
    ASSERT_EQ(capped.size(), 3u);
    EXPECT_EQ(capped[0].time, 1500);
    EXPECT_EQ(capped[1].time, 1000);
    EXPECT_EQ(capped[2].time, 1500);

    ASSERT_EQ(Run("SOURCE_DATE_EPOCH=1500",
                  "pack --time 4000 --stub '" + stub_ + "' -o '" + out + "'" + files)
                  .status,
              0);
    EXPECT_EQ(Read(out)[0].time, 4000);
}

TEST_F(MkpackagePackTest, RefusalsReportEveryProblemAndWriteNothing) {
    std::string empty = Put("one/empty.txt", "", 1000);
    std::string spaced = Put("one/spaced.txt", " x", 1000);
    std::string first = Put("one/read.me", "a", 1000);
    std::string second = Put("two/READ.ME", "b", 1000);
    std::string trailing = Put("trailing.exe", MinimalImage() + "junk", 1000);
    std::string out = dir_ + "/refused.exe";
    Outcome refused = Run("", "pack --stub '" + trailing + "' -o '" + out + "' '" + empty + "' '" +
                                  spaced + "' '" + first + "' '" + second + "' '" + dir_ +
                                  "/missing.txt'");
    EXPECT_EQ(refused.status, 1);
    // Stub, empty file, white space, duplicate, missing file.
    EXPECT_EQ(refused.errorLines.size(), 5u);
    for (const std::string& line : refused.errorLines) {
        EXPECT_EQ(line.compare(0, 15, "mkpackage pack:"), 0) << line;
    }
    EXPECT_FALSE(Exists(out));
    EXPECT_FALSE(Exists(out + ".partial"));

    // A name that code page 932 cannot write (U+1F600), besides an empty file.
    std::string emoji = Put("\xF0\x9F\x98\x80.txt", "x", 1000);
    Outcome unnamed = Run("", "pack --stub '" + stub_ + "' -o '" + out + "' '" + emoji + "' '" +
                                  empty + "'");
    EXPECT_EQ(unnamed.status, 1);
    ASSERT_EQ(unnamed.errorLines.size(), 2u);
    EXPECT_NE(unnamed.errorLines[0].find("code page 932"), std::string::npos);
    EXPECT_NE(unnamed.errorLines[1].find("empty"), std::string::npos);
    EXPECT_FALSE(Exists(out));

    Outcome badEpoch = Run("SOURCE_DATE_EPOCH=soon", "pack --stub '" + stub_ + "' -o '" + out +
                                                         "' '" + first + "'");
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
        Outcome outcome = Run("", arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_FALSE(outcome.errorLines.empty());
    }
    EXPECT_FALSE(Exists(dir_ + "/o.exe"));
}

}  // namespace
