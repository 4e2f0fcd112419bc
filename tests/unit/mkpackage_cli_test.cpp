// mkpackage's command line as its users expect it: help and version on
// standard output with status 0, the usage line with every usage error on
// standard error with status 2.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>

#include <sstream>
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

TEST_F(MkpackageCliTest, ListEndsWithTotalsAndGivesJsonForMachines) {
    std::string inf = Put("install.inf", "[Source]\r\ninstall.inf=1\r\n", 1000);
    std::string help = Put("help.txt", std::string(4000, 'h'), 1000);
    ASSERT_EQ(Run("compress '" + help + "'").status, 0);
    utimbuf epoch = {0, 0};
    ASSERT_EQ(utime((dir_ + "/help.tx_").c_str(), &epoch), 0);
    std::string named = Put(u8"説明.txt", "12345", 86400);
    std::string package = dir_ + "/p.exe";
    ASSERT_EQ(Run("pack --time 0 --stub '" + stub_ + "' -o '" + package + "' '" + inf + "' '" +
                  dir_ + "/help.tx_' '" + named + "'")
                  .status,
              0);
    std::string stub = MinimalImage();
    int64_t compressedSize = static_cast<int64_t>(Read(dir_ + "/help.tx_").size());
    int64_t script = static_cast<int64_t>(Read(inf).size());
    int64_t stored = static_cast<int64_t>(stub.size()) + script + compressedSize + 5;
    int64_t expanded = static_cast<int64_t>(stub.size()) + script + 4000 + 5;

    Outcome listed = Run("list '" + package + "'");
    ASSERT_EQ(listed.status, 0) << listed.err;
    std::string last = listed.out.substr(listed.out.rfind('\n', listed.out.size() - 2) + 1);
    EXPECT_TRUE(Contains(last, std::to_string(stored) + " ")) << last;
    EXPECT_TRUE(Contains(last, std::to_string(expanded) + " ")) << last;
    EXPECT_TRUE(Contains(last, "total: 4 entries")) << last;

    Outcome json = Run("list --json '" + package + "'");
    ASSERT_EQ(json.status, 0) << json.err;
    for (const std::string& part :
         {std::string("\"archiveStart\": ") + std::to_string(stub.size()),
          std::string("{\"name\": \"install.exe\", \"self\": true"),
          std::string("{\"name\": \"help.tx_\", \"self\": false, \"stored\": ") +
              std::to_string(compressedSize) +
              ", \"expanded\": 4000, \"time\": \"1970-01-01T00:00:00Z\", \"compressed\": "
              "true, \"damaged\": false}",
          // UTF-8, whatever the package holds.
          std::string(u8"{\"name\": \"説明.txt\", \"self\": false, \"stored\": 5, "
                      u8"\"expanded\": 5, \"time\": \"1970-01-02T00:00:00Z\""),
          "], \"stored\": " + std::to_string(stored) +
              ", \"expanded\": " + std::to_string(expanded) + "}"}) {
        EXPECT_TRUE(Contains(json.out, part)) << part << "\n" << json.out;
    }

    // A damaged compressed entry: flagged, no expanded size, status 1.
    std::string bytes = Read(package);
    size_t at = bytes.find("SZDD");
    ASSERT_NE(at, std::string::npos);
    bytes[at + 8] = 'B';  // the header's method byte: only "A" is known
    std::string damaged = Put("damaged.exe", bytes, 1000);
    Outcome bad = Run("list --json '" + damaged + "'");
    EXPECT_EQ(bad.status, 1);
    EXPECT_TRUE(Contains(bad.out,
                         "\"expanded\": null, \"time\": \"1970-01-01T00:00:00Z\", "
                         "\"compressed\": true, \"damaged\": true}"))
        << bad.out;
}

TEST_F(MkpackageCliTest, ErrorsNameTheFileAndTheSystemsReason) {
    MakeDirectory("from");
    Put("from/install.inf", "[Source]\r\ninstall.inf=1\r\n", 1000);
    const std::string missing = dir_ + "/missing.exe";
    const struct {
        std::string arguments;
        std::string message;
    } cases[] = {
        {"list '" + missing + "'",
         missing + ": detail code 1: the file cannot be opened for reading: No such file or "
                   "directory"},
        {"verify '" + missing + "'", missing + ": detail code 1: "},
        {"build --script '" + dir_ + "/from/none.inf' --from '" + dir_ + "/from' --stub '" + stub_ +
             "' -o '" + dir_ + "/p.exe'",
         dir_ + "/from/none.inf: the setup script cannot be read: No such file or directory"},
        {"build --script '" + dir_ + "/from/install.inf' --from '" + dir_ + "/from' --stub '" +
             missing + "' -o '" + dir_ + "/p.exe'",
         missing + ": the stub cannot be read: No such file or directory"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.arguments);
        Outcome outcome = Run(test.arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_TRUE(Contains(outcome.err, test.message)) << outcome.err;
    }
}

// Display columns of UTF-8 text whose wide characters are all Japanese.
size_t Columns(const std::string& utf8) {
    size_t columns = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            ++columns;
        } else if (c >= 0xE0) {
            columns += 2;  // a three-byte sequence: a kana or kanji here
        }
    }
    return columns;
}

TEST_F(MkpackageCliTest, BuildLinesUpJapaneseNamesAndEndsWithTimeAndThroughput) {
    MakeDirectory("from");
    Put("from/install.inf",
        "[Setup]\r\nDstNeedSpace=99999\r\n[Source]\r\ninstall.inf=1\r\n"
        "説明書.txt=1\r\nab.txt=1\r\n",
        1000);
    std::string text;
    for (int i = 0; i < 200; ++i) text += "help text, line " + std::to_string(i % 5) + "\n";
    Put(u8"from/説明書.txt", text, 1000);
    Put("from/ab.txt", text, 1000);
    Outcome built = Run("build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                        "/from' --stub '" + stub_ + "' -o '" + dir_ + "/p.exe'");
    ASSERT_EQ(built.status, 0) << built.err;
    // Not a terminal: one line per file, no progress line.
    EXPECT_FALSE(Contains(built.out, "\r")) << built.out;
    std::vector<size_t> ends;  // the column where each file's size ends
    std::istringstream lines(built.out);
    for (std::string line; std::getline(lines, line);) {
        size_t bytes = line.find(" -> ", line.find(" -> ") + 1);
        if (line.compare(0, 2, "  ") != 0 || bytes == std::string::npos) continue;
        ends.push_back(Columns(line.substr(0, bytes)));
    }
    ASSERT_EQ(ends.size(), 2u) << built.out;
    EXPECT_EQ(ends[0], ends[1]) << built.out;
    size_t summary = built.out.rfind("in all; ");
    ASSERT_NE(summary, std::string::npos) << built.out;
    double seconds = -1, throughput = -1;
    char unit[8] = "";
    EXPECT_EQ(
        sscanf(built.out.c_str() + summary, "in all; %lf s, %lf %7s", &seconds, &throughput, unit),
        3)
        << built.out;
    EXPECT_GE(seconds, 0.0);
    EXPECT_GE(throughput, 0.0);
    EXPECT_STREQ(unit, "MB/s");

    Outcome quiet = Run("build --quiet --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                        "/from' --stub '" + stub_ + "' -o '" + dir_ + "/q.exe'");
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
}

TEST_F(MkpackageCliTest, BuildPrintsAFilesLineBeforeThePackageIsWritten) {
    MakeDirectory("from");
    Put("from/install.inf",
        "[Setup]\r\nDstNeedSpace=99999999\r\n[Source]\r\nfirst.txt=1\r\nlarge.txt=1\r\n"
        "install.inf=1\r\n",
        1000);
    std::string text;
    for (int i = 0; i < 200; ++i) text += "help text, line " + std::to_string(i % 5) + "\n";
    Put("from/first.txt", text, 1000);
    std::string large;
    for (int i = 0; i < 100000; ++i) large += "record " + std::to_string(i) + "\n";
    Put("from/large.txt", large, 1000);
    std::string build = "build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
                        "/from' --stub '" + stub_ + "' -o ";
    Outcome reference = Run(build + "'" + dir_ + "/reference.exe'");
    ASSERT_EQ(reference.status, 0) << reference.err;
    std::string first = reference.out.substr(0, reference.out.find('\n') + 1);
    ASSERT_TRUE(Contains(first, "first.txt -> first.tx_")) << reference.out;

    // Standard output is a pipe with room for that line and no more, so the
    // build stops at its next line until this test reads: a build that
    // prints as it goes cannot have written its package by then.
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    int capacity = fcntl(pipeEnds[1], F_SETPIPE_SZ, 4096);
    ASSERT_GT(capacity, static_cast<int>(first.size()));
    std::string filler(static_cast<size_t>(capacity) - first.size(), '.');
    ASSERT_EQ(write(pipeEnds[1], filler.data(), filler.size()),
              static_cast<ssize_t>(filler.size()));
    std::string output = dir_ + "/p.exe";
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        freopen("/dev/null", "w", stderr);
        std::string tool = INSTALLER_BUILD_DIR "/mkpackage";
        std::string script = dir_ + "/from/install.inf", from = dir_ + "/from";
        execl(tool.c_str(), tool.c_str(), "build", "--script", script.c_str(), "--from",
              from.c_str(), "--stub", stub_.c_str(), "-o", output.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    // Until the build writes to the pipe, its package appears or it ends:
    // one of them happens whatever the build does first.
    int queued = 0, status = 0;
    bool ended = false;
    for (;;) {
        ASSERT_EQ(ioctl(pipeEnds[0], FIONREAD, &queued), 0);
        if (static_cast<size_t>(queued) != filler.size() || Exists(output)) break;
        if (waitpid(child, &status, WNOHANG) == child) {
            ended = true;
            break;
        }
        usleep(1000);
    }
    bool packageBegun = Exists(output) || Exists(output + ".partial");
    std::string piped;
    char buffer[4096];
    for (ssize_t got; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        piped.append(buffer, static_cast<size_t>(got));
    }
    close(pipeEnds[0]);
    if (!ended) {
        ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    EXPECT_EQ(queued, capacity) << "the first line alone was not written";
    EXPECT_FALSE(packageBegun) << "the first line came after the package was written";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    // All the lines of the build, the same as where nothing held it up.
    piped.erase(0, filler.size());
    size_t summary = piped.rfind('\n', piped.size() - 2) + 1;
    EXPECT_EQ(piped.substr(0, summary),
              reference.out.substr(0, reference.out.rfind('\n', reference.out.size() - 2) + 1));
    EXPECT_EQ(piped.compare(summary, output.size() + 7, output + ": stub "), 0) << piped;
    EXPECT_TRUE(Exists(output));
}

}  // namespace
