// The driver against helper programs whose windows are known (helper.h).
#include <windows.h>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/helper.h"
#include "tests/e2e/installer_kit.h"

using namespace e2e;

namespace {

Process StartHelper(const std::string& args) {
    return Driver::Start(SelfPath(), "--helper " + args);
}

}  // namespace

TEST(Driver, ZPathMapsUnixPathsToDriveZ) {
    EXPECT_EQ(ZPath("/work/main/build/x64"), "Z:\\work\\main\\build\\x64");
    EXPECT_EQ(ZPath("/"), "Z:\\");
}

TEST(Driver, ConvertsCodePage932BothWays) {
    // "表" and "ソ" end in 0x5C; "ｱ" is a single half-width byte.
    const std::string raw = "\x95\x5C\x83\x5C\xB1";
    EXPECT_EQ(Utf8FromCp932(raw), u8"表ソｱ");
    EXPECT_EQ(Cp932FromUtf8(u8"表ソｱ"), raw);
    EXPECT_EQ(Utf8FromCp932(""), "");
}

// Each style's buttons and icon as the driver reads them off the screen, and
// the answer it gives coming back as the exit code.
TEST(Driver, ReadsAndAnswersMessageBoxes) {
    struct Case {
        UINT style;
        std::vector<int> buttons;
        const char* icon;
        int press;
    } cases[] = {
        {MB_ICONSTOP, {IDOK}, "stop", IDOK},
        {MB_ICONEXCLAMATION, {IDOK}, "exclamation", IDOK},
        {MB_ICONINFORMATION, {IDOK}, "information", IDOK},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, "question", IDNO},
        {MB_YESNO | MB_ICONQUESTION, {IDYES, IDNO}, "question", IDYES},
        {MB_OKCANCEL, {IDOK, IDCANCEL}, "none", IDCANCEL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        Process run = StartHelper("msgbox " + std::to_string(c.style));
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found());
        EXPECT_EQ(box.className, "#32770");
        EXPECT_EQ(box.title, kHelperBoxTitleUtf8);
        EXPECT_EQ(box.text, kHelperBoxTextUtf8);
        EXPECT_EQ(box.rawText.substr(0, 4), "\x95\x5C\x8E\xA6");  // 表示
        EXPECT_EQ(box.ButtonIds(), c.buttons);
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_TRUE(box.Answer(c.press));
        EXPECT_EQ(run.WaitExit(), c.press);
    }
}

TEST(Driver, ReadsControlsTypesTextAndClosesDialogs) {
    std::string out = TempPath("e2e-dialog.txt");
    DeleteFileA(out.c_str());
    Process run = StartHelper("dialog \"" + out + "\"");
    Window dialog = run.WaitWindowTitled(kHelperDialogTitleUtf8);
    ASSERT_TRUE(dialog.found());
    EXPECT_FALSE(dialog.IsMessageBox());
    EXPECT_EQ(dialog.ControlText(kHelperLabelId), kHelperDialogLabelUtf8);
    ASSERT_NE(dialog.Find(kHelperEditId), nullptr);
    EXPECT_EQ(dialog.Find(kHelperEditId)->className, "Edit");
    EXPECT_FALSE(dialog.Find(kHelperDisabledId)->enabled);
    EXPECT_TRUE(dialog.Find(kHelperDisabledId)->visible);
    EXPECT_FALSE(dialog.Find(kHelperHiddenId)->visible);
    // A rich edit counts characters, not bytes; its double-byte text still
    // comes back whole.
    EXPECT_EQ(dialog.ControlText(kHelperRichEditId), kHelperRichTextUtf8);
    EXPECT_EQ((std::vector<std::string>{"OK", u8"キャンセル", u8"無効"}), dialog.ButtonTexts());

    // Typed text arrives in code page 932, 0x5C trail bytes intact.
    ASSERT_TRUE(dialog.SetText(kHelperEditId, u8"C:￥表示\\ソフト"));
    dialog.Refresh();
    EXPECT_EQ(dialog.ControlText(kHelperEditId), u8"C:￥表示\\ソフト");
    EXPECT_TRUE(dialog.Answer(IDOK));
    EXPECT_EQ(run.WaitExit(), IDOK);
    EXPECT_EQ(ReadFileBytes(out), "C:￥表示\\ソフト");
    DeleteFileA(out.c_str());

    Process second = StartHelper("dialog \"" + out + "\"");
    Window again = second.WaitWindowTitled(kHelperDialogTitleUtf8);
    EXPECT_TRUE(again.Close());
    EXPECT_TRUE(again.WaitGone());
    EXPECT_EQ(second.WaitExit(), IDCANCEL);
    EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A program that starts a copy of itself and ends: the copy's windows still
// belong to the run.
TEST(Driver, FollowsProcessesStartedByTheRun) {
    Process run = StartHelper("spawn " + std::to_string(MB_OK));
    EXPECT_EQ(run.WaitExit(), 0);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_NE(box.pid, run.pid());
    EXPECT_EQ(run.Family().count(box.pid), 1u);
    EXPECT_TRUE(box.Answer(IDOK));
    EXPECT_TRUE(run.WaitAllExit());
}

// Windows of processes outside the run are not taken for its own.
TEST(Driver, IgnoresWindowsOfOtherPrograms) {
    Process other = StartHelper("msgbox 0");
    ASSERT_TRUE(other.WaitMessageBox().found());
    Process quiet = StartHelper("hang");
    EXPECT_NONFATAL_FAILURE(quiet.WaitMessageBox(300), "no message box within 300 ms");
    quiet.Terminate();
    other.Terminate();
}

TEST(Driver, BoundedWaitsFailAndTerminate) {
    Process run = StartHelper("hang");
    DWORD start = GetTickCount();
    long code = 0;
    EXPECT_NONFATAL_FAILURE(code = run.WaitExit(300), "still running after 300 ms");
    EXPECT_EQ(code, -1);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_FALSE(run.Running());

    Process leftover = StartHelper("hang");
    EXPECT_NONFATAL_FAILURE({ Process gone = std::move(leftover); }, "left 1 process(es) running");
}

TEST(Driver, ScreenshotReadsThePixelsOfOtherPrograms) {
    Process run = StartHelper("paint");
    Window window = run.WaitWindowTitled(kHelperPaintTitleUtf8);
    ASSERT_TRUE(window.found());
    RECT client = window.ClientRectOnScreen();
    EXPECT_EQ(client.left, 100);
    EXPECT_EQ(client.top, 100);
    Sleep(200);  // let the first WM_PAINT reach the screen
    Screenshot shot = Screenshot::Take();
    ASSERT_FALSE(shot.empty());
    EXPECT_EQ(shot.Pixel(150, 150), 0xFF0000u);
    EXPECT_EQ(shot.Pixel(250, 150), 0x0000FFu);

    std::string bmp = TempPath("e2e-shot.bmp");
    ASSERT_TRUE(shot.SaveBmp(bmp));
    std::string bytes = ReadFileBytes(bmp);
    size_t rowBytes = (shot.width * 3 + 3) & ~3;
    EXPECT_EQ(bytes.size(), 54 + rowBytes * shot.height);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    // Bottom-up rows: screen row 150 is stored at row (height - 1 - 150).
    size_t at = 54 + rowBytes * (shot.height - 1 - 150) + 250 * 3;
    EXPECT_EQ(bytes.substr(at, 3), std::string("\xFF\x00\x00", 3));
    DeleteFileA(bmp.c_str());

    EXPECT_TRUE(window.Close());
    EXPECT_EQ(run.WaitExit(), kHelperPaintExit);
}
