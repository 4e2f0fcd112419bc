// mkpackage never destroys what it was not asked to: an output that is a
// directory, files already in an extraction folder, the target of a link,
// names that a compressed form's header makes up, and its own working files
// when it is stopped.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <string>

#include "tests/unit/mkpackage_fixture.h"

namespace {

using namespace mkpackage_test;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool IsDirectory(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool IsLink(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

class MkpackageSafetyTest : public MkpackageTest {
protected:
    void SetUp() override {
        MkpackageTest::SetUp();
        if (HasFatalFailure()) return;
        MakeDirectory("from");
        Put("from/install.inf", "[Source]\r\ninstall.inf=1\r\nread.me=1\r\n", 1000);
        Put("from/read.me", "the packed text", 1000);
    }

    std::string Build(const std::string& output) {
        return "build --script '" + dir_ + "/from/install.inf' --from '" + dir_ +
               "/from' --stub '" + stub_ + "' -o '" + output + "'";
    }
};

TEST_F(MkpackageSafetyTest, AnOutputThatIsADirectoryIsRefusedAndKept) {
    MakeDirectory("empty");
    MakeDirectory("full");
    Put("full/keep.txt", "kept", 1000);
    const std::string inputs = " '" + dir_ + "/from/install.inf'";
    for (const char* dir : {"empty", "full"}) {
        SCOPED_TRACE(dir);
        std::string output = dir_ + "/" + dir;
        Outcome built = Run(Build(output));
        EXPECT_EQ(built.status, 1);
        EXPECT_TRUE(Contains(built.err, output + ": is a directory")) << built.err;
        Outcome packed = Run("pack --stub '" + stub_ + "' -o '" + output + "'" + inputs);
        EXPECT_EQ(packed.status, 1);
        EXPECT_TRUE(Contains(packed.err, output + ": is a directory")) << packed.err;
        EXPECT_TRUE(IsDirectory(output));
    }
    EXPECT_EQ(Read(dir_ + "/full/keep.txt"), "kept");
    // Nothing else was left beside them either.
    EXPECT_EQ(system(("test -z \"$(ls -d '" + dir_ + "'/*.part* 2>/dev/null)\"").c_str()), 0);
}

TEST_F(MkpackageSafetyTest, ExtractReplacesFilesOnlyWithForceAndNeverWritesThroughALink) {
    std::string package = dir_ + "/install.exe";
    ASSERT_EQ(Run(Build(package)).status, 0);
    std::string victim = Put("victim.txt", "not to be touched", 1000);
    MakeDirectory("out");
    ASSERT_EQ(symlink("../victim.txt", (dir_ + "/out/install.inf").c_str()), 0);
    ASSERT_EQ(symlink("../nowhere.txt", (dir_ + "/out/read.me").c_str()), 0);
    Put("out/install.exe", "an older stub", 1000);

    Outcome refused = Run("extract '" + package + "' '" + dir_ + "/out'");
    EXPECT_EQ(refused.status, 1);
    for (const char* name : {"install.inf", "read.me", "install.exe"}) {
        EXPECT_TRUE(Contains(refused.err, dir_ + "/out/" + name + ": exists already")) << name;
    }
    EXPECT_TRUE(Contains(refused.err, "nothing was written")) << refused.err;
    EXPECT_EQ(Read(dir_ + "/out/install.exe"), "an older stub");
    EXPECT_FALSE(Exists(dir_ + "/nowhere.txt"));

    Outcome forced = Run("extract --force '" + package + "' '" + dir_ + "/out'");
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_EQ(Read(victim), "not to be touched");
    EXPECT_FALSE(Exists(dir_ + "/nowhere.txt"));
    EXPECT_FALSE(IsLink(dir_ + "/out/install.inf"));
    EXPECT_EQ(Read(dir_ + "/out/install.inf"), "[Source]\r\ninstall.inf=1\r\nread.me=1\r\n");
    EXPECT_EQ(Read(dir_ + "/out/read.me"), "the packed text");
    EXPECT_EQ(Read(dir_ + "/out/install.exe"), MinimalImage());

    // A directory in the way is never removed, even with --force.
    ASSERT_EQ(system(("rm '" + dir_ + "/out/read.me' && mkdir '" + dir_ + "/out/read.me'").c_str()),
              0);
    Outcome blocked = Run("extract --force '" + package + "' '" + dir_ + "/out'");
    EXPECT_EQ(blocked.status, 1);
    EXPECT_TRUE(Contains(blocked.err, "/out/read.me: a directory is in the way")) << blocked.err;
    EXPECT_TRUE(IsDirectory(dir_ + "/out/read.me"));
}

TEST_F(MkpackageSafetyTest, AFailedExtractionSaysWhatItLeft) {
    // A name of 258 bytes is one the archive carries but this file system
    // (255 bytes a name) cannot hold: the third entry fails.
    const std::string image = MinimalImage();
    const std::string longName(258, 'a');
    std::string package = image + "INSTARC0001\r\n2\r\n" + std::to_string(image.size()) +
                          "\r\n0\r\ninstall.exe\r\n3\r\n0\r\nabc.txt\r\nabc3\r\n0\r\n" + longName +
                          "\r\nxyz";
    std::string path = Put("long.exe", package, 1000);
    Outcome failed = Run("extract '" + path + "' '" + dir_ + "/x'");
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(Contains(failed.err, dir_ + "/x/" + longName + ": File name too long"))
        << failed.err;
    EXPECT_TRUE(Contains(failed.err, "2 of 3 files left in " + dir_ + "/x: install.exe abc.txt"))
        << failed.err;
    EXPECT_EQ(Read(dir_ + "/x/abc.txt"), "abc");
}

TEST_F(MkpackageSafetyTest, ExpandedNamesFromTheHeaderObeyTheBareNameRule) {
    // "CON" compressed is stored as CO_ with "N" in its header: the header
    // alone restores the device name.
    const struct {
        const char* original;
        const char* stored;
    } cases[] = {{"CON", "CO_"}, {"COM1", "COM_"}, {"nul", "nu_"}, {"aux", "au_"}};
    for (const auto& test : cases) {
        SCOPED_TRACE(test.original);
        MakeDirectory("crafted");
        std::string original = Put(std::string("crafted/") + test.original, "device data", 1000);
        ASSERT_EQ(Run("compress '" + original + "'").status, 0);
        std::string stored = dir_ + "/crafted/" + test.stored;
        ASSERT_TRUE(Exists(stored));
        ASSERT_EQ(unlink(original.c_str()), 0);
        std::string package = dir_ + "/crafted.exe";
        ASSERT_EQ(Run("pack --stub '" + stub_ + "' -o '" + package + "' '" + dir_ +
                      "/from/install.inf' '" + stored + "'")
                      .status,
                  0);
        Outcome expanded = Run("extract --expand '" + package + "' '" + dir_ + "/x'");
        EXPECT_EQ(expanded.status, 1);
        EXPECT_TRUE(Contains(expanded.err, std::string(test.stored) +
                                               ": the compressed form's header restores the name " +
                                               test.original))
            << expanded.err;
        EXPECT_FALSE(Exists(dir_ + "/x"));
        // expand on its own keeps to the same rule.
        Outcome alone = Run("expand '" + stored + "' -o '" + dir_ + "/crafted'");
        EXPECT_EQ(alone.status, 1);
        EXPECT_TRUE(
            Contains(alone.err, std::string("the header restores the name ") + test.original))
            << alone.err;
        EXPECT_FALSE(Exists(original));
        // Without --expand the stored name is a fine name.
        EXPECT_EQ(Run("extract '" + package + "' '" + dir_ + "/x'").status, 0);
        ASSERT_EQ(system(("rm -r '" + dir_ + "/x' '" + dir_ + "/crafted'").c_str()), 0);
    }
}

TEST_F(MkpackageSafetyTest, ABuildStoppedBySignalLeavesNoWorkingFiles) {
    // Large enough that writing the package takes a while after the
    // compressed forms are written beside it.
    std::mt19937 random(7);
    std::string noise(48 << 20, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    Put("from/big.bin", noise, 1000);
    Put("from/install.inf", "[Source]\r\ninstall.inf=1\r\nread.me=1\r\nbig.bin=1\r\n", 1000);
    Put("from/read.me", std::string(100000, 'a'), 1000);
    MakeDirectory("out");
    std::string output = dir_ + "/out/pkg.exe";
    for (int signalNumber : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signalNumber);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            std::string tool = INSTALLER_BUILD_DIR "/mkpackage";
            std::string script = dir_ + "/from/install.inf", from = dir_ + "/from";
            execl(tool.c_str(), tool.c_str(), "build", "--script", script.c_str(), "--from",
                  from.c_str(), "--stub", stub_.c_str(), "-o", output.c_str(), "--plain", "big.bin",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Stopped as soon as its working folder appears.
        std::string parts = output + ".parts-" + std::to_string(child);
        bool seen = false;
        for (int i = 0; i < 200000 && !seen; ++i) {
            seen = Exists(parts);
            if (!seen) usleep(50);
        }
        EXPECT_TRUE(seen);
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        // Ended by the signal, as the signal ends a program, not run to the end.
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber) << status;
        EXPECT_EQ(system(("test -z \"$(ls -A '" + dir_ + "/out')\"").c_str()), 0);
    }
}

TEST_F(MkpackageSafetyTest, ABuildWhosePipeIsClosedLeavesNoWorkingFiles) {
    // A script saved as UTF-8 is converted into a working file beside the
    // output before anything is compressed; the first file's line then goes
    // to a pipe that nobody reads any more (a pipe into head, say).
    Put("from/install.inf", u8"[Setup]\r\nProgramName=説明\r\n[Source]\r\ninstall.inf=1\r\n", 1000);
    MakeDirectory("out");
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    close(pipeEnds[0]);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(pipeEnds[1], 1);
        close(pipeEnds[1]);
        freopen("/dev/null", "w", stderr);
        signal(SIGPIPE, SIG_DFL);
        std::string tool = INSTALLER_BUILD_DIR "/mkpackage";
        std::string script = dir_ + "/from/install.inf", from = dir_ + "/from";
        std::string output = dir_ + "/out/pkg.exe";
        execl(tool.c_str(), tool.c_str(), "build", "--script", script.c_str(), "--from",
              from.c_str(), "--stub", stub_.c_str(), "-o", output.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Ended as a program whose reader went away ends, with nothing left.
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGPIPE) << status;
    EXPECT_EQ(system(("test -z \"$(ls -A '" + dir_ + "/out')\"").c_str()), 0);
}

}  // namespace
