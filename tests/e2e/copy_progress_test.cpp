// What the user sees of the copy while it runs: the bar shows the share of
// the files already copied while the next one is being copied, although the
// copy never returns to the message loop in between.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/frozen_process.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"

using namespace e2e;

namespace {

const char kName[] = u8"ソフト進捗表示";
const char kCopyCaption[] = u8"ファイルのコピー";
const int kSourceItem = 1004;

std::string ItemText(HWND item) {
    char text[512] = "";
    GetWindowTextA(item, text, sizeof text);
    return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Share of the bar's interior drawn in the dark "copied" blue, measured along
// a row above the percentage text; -1 when the row shows other colours, as
// when the bar is not on the screen.
double DarkShare(const Screenshot& shot, const RECT& bar) {
    const int y = bar.top + 3;
    int dark = 0, light = 0;
    for (int x = bar.left + 1; x < bar.right - 1; ++x) {
        uint32_t rgb = shot.Pixel(x, y);
        if (rgb == 0x00007F) {
            ++dark;
        } else if (rgb == 0x0000FF) {
            ++light;
        } else {
            return -1;
        }
    }
    return dark + light ? static_cast<double>(dark) / (dark + light) : -1;
}

}  // namespace

// Three files of equal size: while the second is being copied the bar shows
// a third (or two thirds, when the second was done just before the moment was
// caught), never the empty bar of the start. The picture of the dialog over
// the background window is kept for a person to look at.
TEST(CopyProgress, BarShowsTheCopiedShareWhileTheNextFileIsCopied) {
    ProductTraces traces;
    traces.name = kName;
    traces.programFolders = {kName};
    RegistrationGuard registration(traces);
    ScratchDir package("copy-progress");
    ScratchDir target("copy-progress-target");
    const size_t part = 32u << 20;
    std::string script =
        SetupScript(kName, {"InstallPath=e2e\\copy-progress-default", "InstDispProgramMenu=0",
                            "DstNeedSpace=" + std::to_string(3 * part)}) +
        "part1.bin=1\r\npart2.bin=1\r\npart3.bin=1\r\n";
    std::string exe = BuildInstaller(package, {{"install.inf", script},
                                               {"part1.bin", std::string(part, '1')},
                                               {"part2.bin", std::string(part, '2')},
                                               {"part3.bin", std::string(part, '3')}});
    ASSERT_FALSE(exe.empty());
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, target.path());
    ask.Press(IDOK);
    Window copy = run.WaitWindowTitled(kCopyCaption);
    ASSERT_TRUE(copy.found());
    const Control* source = copy.Find(kSourceItem);
    const Control* barControl = nullptr;
    for (const Control& control : copy.controls)
        if (control.className == "SetupProgressBar") barControl = &control;
    ASSERT_TRUE(source && barControl) << copy.Describe();
    RECT bar;
    ASSERT_TRUE(GetWindowRect(barControl->hwnd, &bar));

    // The source path names part2.bin from the moment part1.bin is done until
    // part2.bin is; the process is stopped within that span for the picture.
    double share = -1;
    Screenshot shot;
    const DWORD start = GetTickCount();
    while (share < 0 && GetTickCount() - start < 60000 && copy.exists()) {
        if (!EndsWith(ItemText(source->hwnd), "part2.bin")) {
            Sleep(2);
            continue;
        }
        FrozenProcess frozen(run.pid());
        ASSERT_TRUE(frozen.frozen());
        if (!EndsWith(ItemText(source->hwnd), "part2.bin")) continue;
        shot = Screenshot::Take();
        share = DarkShare(shot, bar);
        ASSERT_GE(share, 0) << "the bar is not on the screen";
    }
    ASSERT_GE(share, 0) << "the copy of part2.bin was never caught";
    EXPECT_TRUE(shot.SaveBmp(ArtifactPath("copy-dialog-part-way.bmp")));
    const bool oneThird = share > 0.31 && share < 0.36;
    const bool twoThirds = share > 0.64 && share < 0.69;
    EXPECT_TRUE(oneThird || twoThirds) << "dark share of the bar: " << share;

    Window box = run.WaitMessageBox(60000);
    ASSERT_TRUE(box.found());
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(ReadFileBytes(target.File("part2.bin")), std::string(part, '2'));
}
