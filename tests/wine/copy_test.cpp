// The copy of package files into place, on the real file system through the
// real LZ expansion library, with the copy dialog and its bar.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "package/copy_progress_dialog_win.h"
#include "res/resource.h"
#include "tests/wine/engine_fixture.h"

using namespace engine_test;

namespace {

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

TEST_F(CopyTest, ExpansionLibraryComesFromTheSystemDirectory) {
    WriteFileBytes(base() + "s", "x");
    ASSERT_EQ(Copy(base() + "t", base() + "s"), 1);
    HMODULE module = GetModuleHandleA("lz32.dll");
    ASSERT_NE(module, nullptr);
    char loaded[MAX_PATH] = "";
    GetModuleFileNameA(module, loaded, sizeof loaded);
    char expected[MAX_PATH] = "";
    GetSystemDirectoryA(expected, sizeof expected);
    lstrcatA(expected, "\\lz32.dll");
    EXPECT_EQ(lstrcmpiA(loaded, expected), 0) << loaded;
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
