// The mkpackage tests run the built tool in a scratch directory of their own:
// files put there with chosen modification times, a minimal stub, the tool's
// exit status and output, and the entries of the package it wrote.
#pragma once

#include <gtest/gtest.h>

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

namespace mkpackage_test {

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
    std::string out;
    std::string err;

    std::vector<std::string> ErrorLines() const {
        std::vector<std::string> lines;
        std::istringstream in(err);
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
};

class MkpackageTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/mkpackage_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        stub_ = Put("stub.exe", MinimalImage(), 3000);
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }

    void MakeDirectory(const std::string& name) {
        ASSERT_EQ(mkdir((dir_ + "/" + name).c_str(), 0700), 0) << name;
    }

    // A file below the test directory, with its modification time.
    std::string Put(const std::string& name, const std::string& bytes, time_t mtime) {
        std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        utimbuf times = {mtime, mtime};
        utime(path.c_str(), &times);
        return path;
    }

    // Runs the tool with the arguments (quoted where needed); environment is
    // prepended as "NAME=value" words, or "-u NAME".
    Outcome Run(const std::string& arguments, const std::string& environment = "") {
        std::string out = dir_ + "/stdout.txt", err = dir_ + "/stderr.txt";
        std::string command = "env -u SOURCE_DATE_EPOCH " + environment + " '" +
                              INSTALLER_BUILD_DIR "/mkpackage' " + arguments + " >'" + out +
                              "' 2>'" + err + "'";
        int raw = system(command.c_str());
        return Outcome{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Read(out), Read(err)};
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }

    // The entries of a package, as the installer's reader extracts them.
    std::vector<Entry> Entries(const std::string& package) {
        std::string file = Read(package);
        MemorySource source(file.data(), file.size());
        Collector collector;
        ArchiveOutcome outcome;
        EXPECT_EQ(ExtractArchive(source, collector, &outcome), kArchiveOk);
        return collector.entries;
    }

    static bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

    std::string dir_;
    std::string stub_;
};

}  // namespace mkpackage_test
