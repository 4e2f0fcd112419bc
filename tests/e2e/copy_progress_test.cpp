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
// caught), never the empty bar of the start; while the third is, two thirds
// (or all of it). Either file will do, so that a poll that a loaded machine
// lets sleep through one copy still catches the other. The picture of the
// dialog over the background window is kept for a person to look at.
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
    // part2.bin is, then part3.bin; the process is stopped within such a span
    // for the picture.
    auto filesDone = [&]() {
        std::string text = ItemText(source->hwnd);
        return EndsWith(text, "part2.bin") ? 1 : EndsWith(text, "part3.bin") ? 2 : 0;
    };
    // done of three files finished, or one more just before the freeze.
    auto fits = [](double share, int done) {
        for (int files : {done, done + 1}) {
            if (share > files / 3.0 - 0.025 && share < files / 3.0 + 0.025) return true;
        }
        return false;
    };
    double share = -1, lastShare = -1;
    int lastDone = 0;
    Screenshot shot;
    const DWORD start = GetTickCount();
    while (share < 0 && GetTickCount() - start < 60000 && copy.exists()) {
        if (!filesDone()) {
            Sleep(2);
            continue;
        }
        FrozenProcess frozen(run.pid());
        ASSERT_TRUE(frozen.frozen());
        const int done = filesDone();
        if (!done) continue;
        Screenshot picture = Screenshot::Take();
        const double seen = DarkShare(picture, bar);
        ASSERT_GE(seen, 0) << "the bar is not on the screen";
        if (fits(seen, done)) {
            share = seen;
            shot = picture;
        } else {
            // Under Wine a process frozen just after drawing may not have
            // put the drawing on the screen yet: look again.
            lastShare = seen;
            lastDone = done;
        }
    }
    ASSERT_GE(share, 0) << "no moment of the copy of part2.bin or part3.bin was caught with "
                           "the bar that fits it; last seen: "
                        << lastDone << " file(s) done, dark share " << lastShare;
    EXPECT_TRUE(shot.SaveBmp(ArtifactPath("copy-dialog-part-way.bmp")));

    Window box = run.WaitMessageBox(60000);
    ASSERT_TRUE(box.found());
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(ReadFileBytes(target.File("part2.bin")), std::string(part, '2'));
}
