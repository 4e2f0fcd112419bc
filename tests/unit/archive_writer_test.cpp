// The package writer: what it refuses, and pack-then-read round trips.
#include "package/archive_writer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "package/archive.h"
#include "tests/support/pe_image.h"

namespace {

struct Extracted {
    std::string name;
    std::string data;
    int32_t time;
};

class CollectingSink : public ExtractSink {
public:
    void Prepare() override {}
    bool Create(const char* name) override {
        open_ = Extracted{name, std::string(), 0};
        return true;
    }
    bool Write(const void* data, size_t size) override {
        open_.data.assign(static_cast<const char*>(data), size);
        return true;
    }
    bool Stamp(int32_t time) override {
        open_.time = time;
        return true;
    }
    bool Finish() override {
        files.push_back(open_);
        return true;
    }
    void Discard() override {}

    std::vector<Extracted> files;

private:
    Extracted open_;
};

class ArchiveWriterTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/archive_writer_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        stub_ = Put("stub.exe", MinimalImage(2));
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir_ + "'";
        ASSERT_EQ(system(command.c_str()), 0);
    }

    std::string Put(const std::string& name, const std::string& bytes) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    static std::string Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    std::vector<std::string> Listing() const {
        std::vector<std::string> names;
        DIR* d = opendir(dir_.c_str());
        while (dirent* e = readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(d);
        return names;
    }

    std::string dir_;
    std::string stub_;
};

TEST_F(ArchiveWriterTest, PackThenReadGivesTheSameBytesNamesAndTimes) {
    std::string binary("SZDD\x88\xF0\x27\x33\x41", 9);
    for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>(i * 7));
    std::string a = Put("a.ex_", binary);
    std::string b = Put("install.inf", "[Setup]\r\nProgramName=x\r\n\r\n");
    std::string c = Put("c.rtf", "{\\rtf1 \r\n}\r\n \t");  // white space at the end is kept
    std::string d = Put("d.bin", "\x01");
    ArchiveInput inputs[] = {
        {a.c_str(), "Orbelo.ex_", 1213348614},
        {b.c_str(), "install.inf", 0},
        {c.c_str(), "start file.rtf", 2147483647},
        {d.c_str(), "\x95\x5C.bin", 1202354171},
    };
    std::string out = dir_ + "/setup.exe";
    ByteString error;
    ASSERT_TRUE(WritePackage(stub_.c_str(), inputs, 4, 1213187075, out.c_str(), &error))
        << error.c_str();

    std::string package = Get(out);
    const std::string stub = MinimalImage(2);
    ASSERT_EQ(package.compare(0, stub.size(), stub), 0);
    const std::string header = "INSTARC0001\r\n4\r\n" + std::to_string(stub.size()) +
                               "\r\n1213187075\r\ninstall.exe\r\n70009\r\n";
    EXPECT_EQ(package.substr(stub.size(), header.size()), header);

    MemorySource source(package.data(), package.size());
    CollectingSink sink;
    ArchiveOutcome outcome;
    ASSERT_EQ(ExtractArchive(source, sink, &outcome), kArchiveOk);
    EXPECT_EQ(outcome, ArchiveOutcome::kExtracted);
    ASSERT_EQ(sink.files.size(), 5u);
    EXPECT_EQ(sink.files[0].name, "install.exe");
    EXPECT_EQ(sink.files[0].data, stub);
    EXPECT_EQ(sink.files[0].time, 1213187075);
    const std::string contents[] = {binary, Get(b), Get(c), "\x01"};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sink.files[i + 1].name, inputs[i].name);
        EXPECT_EQ(sink.files[i + 1].data, contents[i]);
        EXPECT_EQ(sink.files[i + 1].time, inputs[i].time);
    }
}

TEST_F(ArchiveWriterTest, StubWithCodeViewRecordIsAcceptedAndReadBack) {
    std::string withRecord = MinimalImage() + std::string("NB10", 4) + std::string(12, '\x02') +
                             "C:\\src\\install.pdb" + std::string(1, '\0');
    std::string stub = Put("cv.exe", withRecord);
    std::string file = Put("f", "data");
    ArchiveInput input = {file.c_str(), "f", 5};
    std::string out = dir_ + "/cv_setup.exe";
    ByteString error;
    ASSERT_TRUE(WritePackage(stub.c_str(), &input, 1, 6, out.c_str(), &error)) << error.c_str();
    std::string package = Get(out);
    MemorySource source(package.data(), package.size());
    CollectingSink sink;
    ArchiveOutcome outcome;
    ASSERT_EQ(ExtractArchive(source, sink, &outcome), kArchiveOk);
    ASSERT_EQ(sink.files.size(), 2u);
    EXPECT_EQ(sink.files[0].data, withRecord);
    EXPECT_EQ(sink.files[1].data, "data");
}

TEST_F(ArchiveWriterTest, ReplacesAnExistingOutput) {
    std::string out = Put("old.exe", "old package");
    std::string file = Put("f", "new");
    ArchiveInput input = {file.c_str(), "f", 5};
    ByteString error;
    ASSERT_TRUE(WritePackage(stub_.c_str(), &input, 1, 6, out.c_str(), &error)) << error.c_str();
    EXPECT_NE(Get(out).find("INSTARC0001"), std::string::npos);
}

// Each refusal names its problem on a line of its own and leaves neither the
// output nor the temporary file behind.
TEST_F(ArchiveWriterTest, RefusesWhatTheReaderWouldMisread) {
    std::string good = Put("good.txt", "good");
    std::string empty = Put("empty.txt", "");
    std::string trailing = Put("trailing.exe", MinimalImage() + "xx");
    std::string notPe = Put("text.exe", "MZ but nothing else");
    std::string noMagic = Put("noMz.exe", std::string(700, 'A'));
    std::string none = dir_ + "/none";
    struct Case {
        const char* what;
        std::string stub;
        std::vector<ArchiveInput> inputs;
        int64_t selfTime;
        std::vector<std::string> expected;  // one fragment per line
    };
    std::vector<Case> cases = {
        {"missing stub", dir_ + "/none.exe", {{good.c_str(), "good.txt", 1}}, 1, {"cannot be opened"}},
        {"stub with trailing data", trailing, {{good.c_str(), "good.txt", 1}}, 1,
         {"2 bytes follow the last section"}},
        {"stub too short", notPe, {{good.c_str(), "good.txt", 1}}, 1, {"not a Windows executable"}},
        {"stub not MZ", noMagic, {{good.c_str(), "good.txt", 1}}, 1, {"not a Windows executable"}},
        {"no files", stub_, {}, 1, {"at least one file"}},
        {"missing file", stub_, {{none.c_str(), "none", 1}}, 1, {"missing"}},
        {"empty file", stub_, {{empty.c_str(), "empty.txt", 1}}, 1, {"empty"}},
        {"directory", stub_, {{dir_.c_str(), "dir", 1}}, 1, {"cannot be read"}},
        {"bad names", stub_,
         {{good.c_str(), "a\\b", 1}, {good.c_str(), "../x", 1}, {good.c_str(), "c:x", 1},
          {good.c_str(), "CON", 1}},
         1,
         {"a\\b: not a bare file name", "../x: not a bare", "c:x: not a bare", "CON: not a bare"}},
        {"long name", stub_, {{good.c_str(), "n", 1}}, 1, {}},
        {"duplicates ignoring case", stub_,
         {{good.c_str(), "Read.me", 1}, {good.c_str(), "READ.ME", 1}, {good.c_str(), "Install.EXE", 1}},
         1,
         {"READ.ME: the name is stored twice", "Install.EXE: the name is taken by the installer stub"}},
        {"every later copy of a name, in input order", stub_,
         {{good.c_str(), "b", 1}, {good.c_str(), "A", 1}, {good.c_str(), "B", 1},
          {good.c_str(), "a", 1}, {good.c_str(), "b", 1}, {good.c_str(), "c", 1}},
         1,
         {"B: the name is stored twice", "a: the name is stored twice",
          "b: the name is stored twice"}},
        {"times", stub_, {{good.c_str(), "a", -1}, {good.c_str(), "b", 2147483648LL}}, -5,
         {"install.exe: the stub's time", "the file time", "the file time"}},
    };
    std::string longName(260, 'n');
    cases[9].inputs[0].name = longName.c_str();
    cases[9].expected = {"longer than 259 bytes"};
    std::vector<std::string> spaced;
    for (char space : std::string("\t\n\v\f\r ")) {
        spaced.push_back(Put("ws" + std::to_string(spaced.size()), std::string(1, space) + "x"));
    }
    for (const std::string& path : spaced) {
        cases.push_back({"white space", stub_, {{path.c_str(), "ws", 1}}, 1,
                         {"begins with a white-space byte"}});
    }

    std::string out = dir_ + "/refused.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ByteString error;
        EXPECT_FALSE(WritePackage(c.stub.c_str(), c.inputs.data(), c.inputs.size(), c.selfTime,
                                  out.c_str(), &error));
        std::vector<std::string> lines;
        std::stringstream text(error.c_str());
        for (std::string line; std::getline(text, line);) lines.push_back(line);
        ASSERT_EQ(lines.size(), c.expected.size()) << error.c_str();
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_NE(lines[i].find(c.expected[i]), std::string::npos) << lines[i];
        }
        EXPECT_NE(access(out.c_str(), F_OK), 0);
        EXPECT_NE(access((out + ".partial").c_str(), F_OK), 0);
    }
}

TEST_F(ArchiveWriterTest, ChecksAloneWriteNothing) {
    std::string good = Put("good.txt", "good");
    ArchiveInput input = {good.c_str(), "good.txt", 1};
    size_t before = Listing().size();
    ByteString error;
    EXPECT_TRUE(CheckPackageInputs(stub_.c_str(), &input, 1, 1, &error));
    EXPECT_TRUE(error.IsEmpty());
    EXPECT_EQ(Listing().size(), before);
}

}  // namespace
