// ExtractPackage on real package files: the x64 install.exe of this build as
// the stub, archives written by the package writer or by hand.
#include "package/extract_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/archive_writer.h"
#include "package/setup_config.h"
#include "tests/wine/engine_fixture.h"

namespace {

const char kOrigin[] = "C:\\origin\\";

std::string TempDir() {
    char buffer[MAX_PATH];
    GetTempPathA(sizeof buffer, buffer);
    return buffer;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Names of the extraction directories in the temporary directory.
std::set<std::string> ExtractionDirs() {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((TempDir() + "KTW*.TMP").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

int64_t LastWriteSeconds(const std::string& path, int64_t* accessSeconds) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    FILETIME access{}, write{};
    GetFileTime(file, nullptr, &access, &write);
    CloseHandle(file);
    auto seconds = [](const FILETIME& time) {
        ULARGE_INTEGER ticks;
        ticks.LowPart = time.dwLowDateTime;
        ticks.HighPart = time.dwHighDateTime;
        return static_cast<int64_t>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
    };
    *accessSeconds = seconds(access);
    return seconds(write);
}

class ExtractTest : public ::testing::Test {
protected:
    void SetUp() override {
        stubPath_ = engine_test::WinePath(INSTALLER_BUILD_DIR "/install.exe");
        stub_ = engine_test::ReadFileBytes(stubPath_);
        ASSERT_FALSE(stub_.empty()) << stubPath_;
        work_ = TempDir() + "extract_test_" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(work_.c_str(), nullptr);
        SetupConfig& config = Config();
        config.ScriptDir = kOrigin;
        RemoveExtractedFiles();
        before_ = ExtractionDirs();
    }

    void TearDown() override {
        RemoveExtractedFiles();
        for (const std::string& file : created_) DeleteFileA(file.c_str());
        RemoveDirectoryA(work_.c_str());
    }

    std::string Put(const std::string& name, const std::string& bytes) {
        std::string path = work_ + name;
        WriteAll(path, bytes);
        created_.push_back(path);
        return path;
    }

    // The stub followed by archive text in which "{S}" stands for the stub's size.
    std::string PutPackage(std::string archive) {
        size_t at;
        while ((at = archive.find("{S}")) != std::string::npos) {
            archive.replace(at, 3, std::to_string(stub_.size()));
        }
        return Put("package.exe", stub_ + archive);
    }

    // After a failure nothing is left: no directory, no list, ScriptDir kept.
    void ExpectNothingLeft() {
        const SetupConfig& config = Config();
        EXPECT_TRUE(config.ExtractDir.IsEmpty());
        EXPECT_EQ(config.ExtractedFiles.Count(), 0u);
        EXPECT_EQ(config.ScriptDir, kOrigin);
        EXPECT_EQ(ExtractionDirs(), before_);
    }

    std::string stubPath_;
    std::string stub_;
    std::string work_;
    std::vector<std::string> created_;
    std::set<std::string> before_;
};

TEST_F(ExtractTest, ExtractsEveryEntryIntoAFreshDirectoryWithTheArchiveTimes) {
    std::string compressed("SZDD\x88\xF0\x27\x33\x41", 9);
    for (int i = 0; i < 300000; ++i) compressed.push_back(static_cast<char>(i * 31 + 7));
    struct File {
        const char* name;
        std::string data;
        int64_t time;
    } files[] = {
        {"Orbelo.ex_", compressed, 1213348614},
        {"install.inf", "[Setup]\r\nProgramName=Orbelo\r\n", 1213340056},
        {"my start file.rtf", "{\\rtf1\\ansi hello}", 1202354171},
        {"\x95\x5C\x8E\xA6.txt", "x", 2147483647},  // a double-byte name with a 0x5C trail byte
    };
    std::vector<ArchiveInput> inputs;
    for (const File& file : files) {
        inputs.push_back({nullptr, file.name, file.time});
    }
    std::vector<std::string> paths;
    for (size_t i = 0; i < inputs.size(); ++i) {
        paths.push_back(Put("in" + std::to_string(i), files[i].data));
        inputs[i].path = paths[i].c_str();
    }
    std::string package = work_ + "setup.exe";
    created_.push_back(package);
    ByteString error;
    ASSERT_TRUE(WritePackage(stubPath_.c_str(), inputs.data(), inputs.size(), 1213187075,
                             package.c_str(), &error))
        << error.c_str();

    ASSERT_EQ(ExtractPackageFrom(package.c_str()), kArchiveOk);
    const SetupConfig& config = Config();
    std::string dir = config.ExtractDir.c_str();
    ASSERT_EQ(dir.compare(0, TempDir().size(), TempDir()), 0) << dir;
    std::string leaf = dir.substr(TempDir().size());
    // "KTW", up to four hexadecimal digits, ".TMP".
    CharUpperA(&leaf[0]);
    EXPECT_EQ(leaf.substr(0, 3), "KTW");
    EXPECT_EQ(leaf.find_first_not_of("0123456789ABCDEF", 3), leaf.size() - 4) << leaf;
    EXPECT_LE(leaf.size(), 11u);
    EXPECT_EQ(leaf.substr(leaf.size() - 4), ".TMP");
    EXPECT_EQ(GetFileAttributesA(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(std::string(config.ScriptDir.c_str()), dir + "\\");

    ASSERT_EQ(config.ExtractedFiles.Count(), 5u);
    EXPECT_EQ(std::string(config.ExtractedFiles[0].c_str()), dir + "\\install.exe");
    int64_t accessed = 0;
    EXPECT_EQ(LastWriteSeconds(config.ExtractedFiles[0].c_str(), &accessed), 1213187075);
    EXPECT_EQ(accessed, 1213187075);
    EXPECT_EQ(engine_test::ReadFileBytes(config.ExtractedFiles[0].c_str()), stub_);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(files[i].name);
        std::string path = config.ExtractedFiles[i + 1].c_str();
        EXPECT_EQ(path, dir + "\\" + files[i].name);
        // Before the file is read: reading moves its access time.
        EXPECT_EQ(LastWriteSeconds(path, &accessed), files[i].time);
        EXPECT_EQ(accessed, files[i].time);
        EXPECT_EQ(engine_test::ReadFileBytes(path), files[i].data);
    }

    RemoveExtractedFiles();
    EXPECT_FALSE(Exists(dir));
    EXPECT_TRUE(config.ExtractDir.IsEmpty());
    EXPECT_EQ(config.ExtractedFiles.Count(), 0u);
    EXPECT_EQ(ExtractionDirs(), before_);
}

TEST_F(ExtractTest, BareStubStopsAtTheEndOfItsSections) {
    EXPECT_EQ(ExtractPackageFrom(stubPath_.c_str()), kArchiveShortAfterImage);
    ExpectNothingLeft();
}

TEST_F(ExtractTest, MissingExecutableCannotBeOpened) {
    EXPECT_EQ(ExtractPackageFrom((work_ + "absent.exe").c_str()), kArchiveOpenFailed);
    ExpectNothingLeft();
}

TEST_F(ExtractTest, AppendedDataWithoutArchiveLeavesAnEmptyDirectoryUntilExit) {
    std::string package = Put("signed.exe", stub_ + "PKCS7 signature block, not an archive");
    EXPECT_EQ(ExtractPackageFrom(package.c_str()), kArchiveOk);
    const SetupConfig& config = Config();
    std::string dir = config.ExtractDir.c_str();
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(Exists(dir));
    EXPECT_EQ(config.ExtractedFiles.Count(), 0u);
    EXPECT_EQ(config.ScriptDir, kOrigin);

    RemoveExtractedFiles();
    EXPECT_FALSE(Exists(dir));
    EXPECT_EQ(ExtractionDirs(), before_);
}

// Every failure on a real file returns its code and removes what it wrote,
// a file written but not stamped included.
TEST_F(ExtractTest, FailedExtractionsReturnTheirCodeAndLeaveNothing) {
    const std::string head = "INSTARC0001\r\n2\r\n{S}\r\n1213187075\r\ninstall.exe\r\n";
    const std::string first = "3\r\n1213348614\r\na.txt\r\nabc";
    struct Case {
        std::string archive;
        int code;
    } cases[] = {
        {"INSTARC0001\r\n0\r\n{S}\r\n5\r\ninstall.exe\r\n", kArchiveBadCount},
        {"INSTARC0001\r\n1\r\n1000\r\n5\r\ninstall.exe\r\n", kArchiveReadImage},
        {"INSTARC0001\r\n1\r\n{S}\r\n5\r\n..\\up.exe\r\n", kArchiveWriteSelf},
        {"INSTARC0001\r\n1\r\n{S}\r\n-5\r\ninstall.exe\r\n", kArchiveStampSelf},
        {head + first + "0\r\n7\r\nb.txt\r\nxyz", kArchiveReadEntry},
        {head + first + "9\r\n7\r\nb.txt\r\nxyz", kArchiveReadEntry},
        {head + first + "2000000000\r\n7\r\nb.txt\r\nxyz", kArchiveReadEntry},
        {head + first + "3\r\n7\r\n..\\b.txt\r\nxyz", kArchiveCreateEntry},
        {head + first + "3\r\n7\r\nCON\r\nxyz", kArchiveCreateEntry},
        {head + first + "3\r\n7\r\n" + std::string(250, 'n') + "\r\nxyz", kArchiveCreateEntry},
        {head + first + "3\r\n-1\r\nb.txt\r\nxyz", kArchiveStampEntry},
        // A name given twice, as the file system compares names, is refused
        // rather than one of the two silently winning.
        {head + first + "3\r\n7\r\nA.TXT\r\nxyz", kArchiveCreateEntry},
        {head + first + "3\r\n7\r\nINSTALL.exe\r\nxyz", kArchiveCreateEntry},
        {head + first, kArchiveBadEntrySize},
        {head + first + "3\r\n", kArchiveBadEntryTime},
        {head + first + "3\r\n7\r\n", kArchiveBadEntryName},
        {"INSTARC0001\r\n99\r\n{S}\r\n5\r\ninstall.exe\r\n" + first + "1\r\n2\r\nc\r\nX",
         kArchiveBadEntrySize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive.substr(0, 120));
        std::string package = PutPackage(c.archive);
        EXPECT_EQ(ExtractPackageFrom(package.c_str()), c.code);
        ExpectNothingLeft();
        RemoveExtractedFiles();
        EXPECT_EQ(ExtractionDirs(), before_);
    }
}

TEST_F(ExtractTest, ArchiveTolerantOfLineEndsExtractsFromARealFile) {
    std::string package =
        PutPackage("INSTARC0001\n\n1\n{S}\n  +100\ninstall.exe\n\n4\n200\nname with spaces.txt\n\nDATA");
    ASSERT_EQ(ExtractPackageFrom(package.c_str()), kArchiveOk);
    const SetupConfig& config = Config();
    ASSERT_EQ(config.ExtractedFiles.Count(), 2u);
    std::string path = config.ExtractedFiles[1].c_str();
    EXPECT_EQ(path, std::string(config.ExtractDir.c_str()) + "\\name with spaces.txt");
    EXPECT_EQ(engine_test::ReadFileBytes(path), "DATA");
    int64_t accessed = 0;
    EXPECT_EQ(LastWriteSeconds(path, &accessed), 200);
}

}  // namespace
