// The copy of package files into place on the real file system, SZDD files
// expanded, with the copy dialog and its bar.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "package/copy_progress_dialog_win.h"
#include "package/expand_file_win.h"
#include "package/szdd.h"
#include "res/resource.h"
#include "tests/wine/engine_fixture.h"

using namespace engine_test;

namespace {

std::string Compressed(const std::string& plain) {
    szdd_bytes::Bytes file;
    EXPECT_EQ(SzddCompress(reinterpret_cast<const uint8_t*>(plain.data()), plain.size(), 'e',
                           szdd_bytes::Append, &file),
              SzddStatus::kOk);
    return std::string(file.begin(), file.end());
}

std::string RandomBytes(size_t size, uint32_t seed) {
    szdd_bytes::Bytes bytes = szdd_bytes::Random(size, seed);
    return std::string(bytes.begin(), bytes.end());
}

// The expanded files of the kinds that packages carry: executables, text,
// code page 932 text, data that was compressed already, and runs of spaces,
// at sizes that end inside, at and past the blocks in which files are read
// and written.
std::vector<std::pair<std::string, std::string>> FileClasses() {
    char self[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string image = ReadFileBytes(std::string(self, length));
    std::string sources = ReadFileBytes(SourcePath("package/szdd.cpp")) +
                          ReadFileBytes(SourcePath("package/archive.cpp"));
    std::string japanese;
    char line[128];
    for (int i = 0; japanese.size() < 300000; ++i) {
        wsprintfA(line, "%d: ファイル（表示ソフト%d）のコピーができません。\r\n", i, i % 37);
        japanese += line;
    }
    return {
        {"executable", image.substr(0, 1500000)},
        {"source text", sources},
        {"code page 932 text", japanese},
        {"compressed data", RandomBytes(700000, 1)},
        {"one block of compressed data", RandomBytes(256 * 1024, 2)},
        {"spaces", std::string(600000, ' ')},
        {"empty", ""},
    };
}

std::string ItemText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

class CopyTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        dialog_ = CopyProgressDialog::Create(nullptr);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        CopyProgressDialog::Destroy(dialog_);
        EngineTest::TearDown();
    }
    int Copy(const std::string& destination, const std::string& source) {
        return CopyPackageFile(*dialog_, destination.c_str(), source.c_str());
    }
    CopyProgressDialog* dialog_ = nullptr;
};

}  // namespace

TEST_F(CopyTest, MissingDirectoriesAreCreatedEvenWhenTheSourceIsMissing) {
    std::string destination = base() + "X\\Y\\Z\\a.exe";
    std::string source = base() + "missing.ex_";
    EXPECT_EQ(Copy(destination, source), -1);
    // CreateDirectoryA makes one level only: Z exists only if X and Y were
    // made before it.
    EXPECT_TRUE(IsDirectory(base() + "X"));
    EXPECT_TRUE(IsDirectory(base() + "X\\Y"));
    EXPECT_TRUE(IsDirectory(base() + "X\\Y\\Z"));
    EXPECT_FALSE(Exists(destination));
    EXPECT_EQ(ItemText(dialog_->Handle(), IDC_COPY_DEST), destination);
    EXPECT_EQ(ItemText(dialog_->Handle(), IDC_COPY_SOURCE), source);
    EXPECT_EQ(dialog_->CopiedBytes(), 0);
}

TEST_F(CopyTest, PlainSourceIsCopiedByteForByte) {
    std::string plain;
    for (int i = 0; i < 3000; ++i) plain += static_cast<char>((i * 7) & 0xFF);
    WriteFileBytes(base() + "data.bin", plain);
    std::string destination = base() + "out\\data.bin";
    EXPECT_EQ(Copy(destination, base() + "data.bin"), 3000);
    EXPECT_EQ(ReadFileBytes(destination), plain);
    EXPECT_EQ(dialog_->CopiedBytes(), 3000);
}

TEST_F(CopyTest, SzddSourcesAreExpanded) {
    struct Case {
        const char* what;
        std::string compressed;
        std::string expanded;
    } cases[] = {
        {"literal groups written by hand", LiteralSzdd("0123456789"), "0123456789"},
        {"empty file", LiteralSzdd(""), ""},
        {"file compressed by the peer tool",
         ReadFileBytes(SourcePath("tests/wine/data/peer_lines.txt_")), PeerLinesText()},
    };
    for (const Case& c : cases) {
        WriteFileBytes(base() + "Orbelo.ex_", c.compressed);
        std::string destination = base() + "inst\\Orbelo.exe";
        EXPECT_EQ(Copy(destination, base() + "Orbelo.ex_"), static_cast<int>(c.expanded.size()))
            << c.what;
        EXPECT_EQ(ReadFileBytes(destination), c.expanded) << c.what;
    }
}

TEST_F(CopyTest, LzErrorsComeBackAsTheirNegativeCodes) {
    std::string unknownMode = LiteralSzdd("abc");
    unknownMode[8] = 'B';
    WriteFileBytes(base() + "bad.ex_", unknownMode);
    int result = Copy(base() + "bad.exe", base() + "bad.ex_");
    EXPECT_EQ(result, -8);  // LZERROR_UNKNOWNALG
    EXPECT_EQ(dialog_->CopiedBytes(), 0);
}

TEST_F(CopyTest, ExistingDestinationIsReplaced) {
    WriteFileBytes(base() + "new.txt", "new");
    WriteFileBytes(base() + "dest.txt", "an older and longer content");
    EXPECT_EQ(Copy(base() + "dest.txt", base() + "new.txt"), 3);
    EXPECT_EQ(ReadFileBytes(base() + "dest.txt"), "new");
}

// A destination that cannot be written: here one that another program holds
// open. (A read-only file would do on Windows, but Wine running as root
// overwrites read-only files.)
TEST_F(CopyTest, DestinationThatCannotBeWrittenFailsAndLeavesTheBar) {
    Config().DstNeedSpace = 100;
    WriteFileBytes(base() + "first.txt", "0123456789");
    ASSERT_EQ(Copy(base() + "first.copy", base() + "first.txt"), 10);
    ASSERT_EQ(dialog_->Percent(), 10);

    WriteFileBytes(base() + "dest.txt", "kept");
    HANDLE holder = CreateFileA((base() + "dest.txt").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Copy(base() + "dest.txt", base() + "first.txt"), -1);
    CloseHandle(holder);
    EXPECT_EQ(ReadFileBytes(base() + "dest.txt"), "kept");
    EXPECT_EQ(dialog_->CopiedBytes(), 10);
    EXPECT_EQ(dialog_->Percent(), 10);
    // The same for a destination that is a directory.
    ASSERT_TRUE(CreateDirectoryA((base() + "dir.txt").c_str(), nullptr));
    EXPECT_EQ(Copy(base() + "dir.txt", base() + "first.txt"), -1);
    EXPECT_EQ(dialog_->CopiedBytes(), 10);
}

TEST_F(CopyTest, BarFollowsTheBytesAgainstTheNeed) {
    Config().DstNeedSpace = 1000;
    WriteFileBytes(base() + "a", std::string(250, 'a'));
    WriteFileBytes(base() + "b.ex_", LiteralSzdd(std::string(250, 'b')));  // 250 expanded
    WriteFileBytes(base() + "c", std::string(500, 'c'));
    EXPECT_EQ(dialog_->Percent(), 0);
    Copy(base() + "d\\a", base() + "a");
    EXPECT_EQ(dialog_->Percent(), 25);
    Copy(base() + "d\\b.exe", base() + "b.ex_");
    EXPECT_EQ(dialog_->Percent(), 50);
    Copy(base() + "d\\c", base() + "c");
    EXPECT_EQ(dialog_->Percent(), 100);
    Copy(base() + "d\\x", base() + "missing");
    EXPECT_EQ(dialog_->Percent(), 100);
    // A file found in place counts as copied; beyond the need passes through.
    AddProgress(*dialog_, 500);
    EXPECT_EQ(dialog_->Percent(), 150);
    EXPECT_EQ(dialog_->CopiedBytes(), 1500);
}

TEST_F(CopyTest, EveryClassOfFileExpandsAndCopiesByteForByte) {
    for (const auto& c : FileClasses()) {
        WriteFileBytes(base() + "in.ex_", Compressed(c.second));
        WriteFileBytes(base() + "in.bin", c.second);
        EXPECT_EQ(ExpandFile((base() + "out.exe").c_str(), (base() + "in.ex_").c_str()),
                  static_cast<int>(c.second.size()))
            << c.first;
        EXPECT_TRUE(ReadFileBytes(base() + "out.exe") == c.second) << c.first;
        EXPECT_EQ(ExpandFile((base() + "out.bin").c_str(), (base() + "in.bin").c_str()),
                  static_cast<int>(c.second.size()))
            << c.first;
        EXPECT_TRUE(ReadFileBytes(base() + "out.bin") == c.second) << c.first;
    }
    // A file too short for an SZDD header is plain, even when it begins like
    // one.
    std::string start = LiteralSzdd("abc").substr(0, 13);
    WriteFileBytes(base() + "short.ex_", start);
    EXPECT_EQ(ExpandFile((base() + "short.exe").c_str(), (base() + "short.ex_").c_str()), 13);
    EXPECT_EQ(ReadFileBytes(base() + "short.exe"), start);
    // Nothing of the system's expansion library is needed.
    EXPECT_EQ(GetModuleHandleA("lz32.dll"), nullptr);
}

// A compressed file whose data does not expand to the length its header
// gives is damaged: the copy fails with the read error and leaves no
// destination behind, not even when it replaced an existing file.
TEST_F(CopyTest, DamagedCompressedFilesFailAndLeaveNoDestination) {
    std::string plain = ReadFileBytes(SourcePath("package/szdd.cpp"));
    std::string good = Compressed(plain);
    // A reference in the middle turned into a literal by its flag bit: the
    // rest of the data is read out of step.
    std::string corrupted = good;
    for (size_t at = kSzddHeaderSize; at < good.size();) {
        const uint8_t flags = static_cast<uint8_t>(good[at]);
        if (at > good.size() / 2 && flags != 0xFF) {
            int bit = 0;
            while (flags & (1 << bit)) ++bit;
            corrupted[at] = static_cast<char>(flags | (1 << bit));
            break;
        }
        ++at;
        for (int bit = 0; bit < 8; ++bit) at += (flags & (1 << bit)) ? 1 : 2;
    }
    ASSERT_NE(corrupted, good);
    std::string lyingLength = good;
    lyingLength[10] ^= 0x01;
    struct Case {
        const char* what;
        std::string file;
    } cases[] = {
        {"truncated", good.substr(0, good.size() - 100)},
        {"truncated in its first group", good.substr(0, kSzddHeaderSize + 3)},
        {"lengthened", good + std::string("\xFF" "appended", 9)},
        {"corrupted", corrupted},
        {"header length off by one", lyingLength},
        {"nothing after the header", good.substr(0, kSzddHeaderSize)},
    };
    ASSERT_TRUE(CreateDirectoryA((base() + "inst").c_str(), nullptr));
    for (const Case& c : cases) {
        WriteFileBytes(base() + "bad.ex_", c.file);
        WriteFileBytes(base() + "inst\\bad.exe", "an existing file");
        EXPECT_EQ(Copy(base() + "inst\\bad.exe", base() + "bad.ex_"), -3) << c.what;
        EXPECT_FALSE(Exists(base() + "inst\\bad.exe")) << c.what;
        EXPECT_EQ(dialog_->CopiedBytes(), 0) << c.what;
    }
}

// The destination is written anew, not stamped with the source's time.
TEST_F(CopyTest, DestinationHasTheCurrentTime) {
    SYSTEMTIME old = {2008, 6, 5, 13, 9, 16, 54, 0};
    FILETIME oldTime;
    ASSERT_TRUE(SystemTimeToFileTime(&old, &oldTime));
    const std::string sources[] = {"s.ex_", "s.bin"};
    WriteFileBytes(base() + "s.ex_", Compressed(std::string(5000, 'x')));
    WriteFileBytes(base() + "s.bin", std::string(5000, 'x'));
    for (const std::string& name : sources) {
        HANDLE source = CreateFileA((base() + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(source, INVALID_HANDLE_VALUE);
        ASSERT_TRUE(SetFileTime(source, &oldTime, &oldTime, &oldTime));
        CloseHandle(source);
        FILETIME before;
        GetSystemTimeAsFileTime(&before);
        std::string destination = base() + "t\\" + name;
        ASSERT_EQ(Copy(destination, base() + name), 5000) << name;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(GetFileAttributesExA(destination.c_str(), GetFileExInfoStandard, &data));
        ULARGE_INTEGER written = {{data.ftLastWriteTime.dwLowDateTime,
                                   data.ftLastWriteTime.dwHighDateTime}};
        ULARGE_INTEGER start = {{before.dwLowDateTime, before.dwHighDateTime}};
        // Two seconds of slack for file systems that keep coarse times.
        EXPECT_GE(written.QuadPart + 2 * 10000000ull, start.QuadPart) << name;
    }
}

TEST_F(CopyTest, DialogShowsItsBarBelowThePaths) {
    HWND window = dialog_->Handle();
    EXPECT_TRUE(IsWindowVisible(window));
    char caption[64] = "";
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "ファイルのコピー");
    EXPECT_EQ(ItemText(window, IDC_COPY_SOURCE_LABEL), "コピー元：");
    EXPECT_EQ(ItemText(window, IDC_COPY_DEST_LABEL), "コピー先：");

    RECT outer;
    GetWindowRect(window, &outer);
    LONG width = outer.right - outer.left, height = outer.bottom - outer.top;
    HWND bar = GetDlgItem(window, IDC_PROGRESSBAR);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(IsWindowVisible(bar));
    RECT barRect;
    GetWindowRect(bar, &barRect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&barRect), 2);
    EXPECT_EQ(barRect.left, 10);
    EXPECT_EQ(barRect.top, height - 80);
    EXPECT_EQ(barRect.right, width - 10);
    EXPECT_EQ(barRect.bottom, height - 50);
}

TEST_F(CopyTest, SilentDialogIsHiddenButCountsOn) {
    Config().SilentMode = true;
    Config().DstNeedSpace = 4;
    CopyProgressDialog* silent = CopyProgressDialog::Create(nullptr);
    ASSERT_NE(silent, nullptr);
    HWND window = silent->Handle();
    EXPECT_FALSE(IsWindowVisible(window));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right - rect.left, 1);
    EXPECT_EQ(rect.bottom - rect.top, 1);

    WriteFileBytes(base() + "s", "ab");
    EXPECT_EQ(CopyPackageFile(*silent, (base() + "t").c_str(), (base() + "s").c_str()), 2);
    EXPECT_EQ(silent->Percent(), 50);
    CopyProgressDialog::Destroy(silent);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(CopyTest, DialogDestroyedWithItsOwnerForgetsItsWindow) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    CopyProgressDialog* owned = CopyProgressDialog::Create(owner);
    ASSERT_NE(owned, nullptr);
    DestroyWindow(owner);
    EXPECT_EQ(owned->Handle(), nullptr);
    CopyProgressDialog::Destroy(owned);  // frees the object, touches no window
}
