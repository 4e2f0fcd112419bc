// The walk-through of the sample package: every screen a person clicking
// through the installer meets, in order, each one checked, photographed and
// answered. `make demo` runs it on a virtual display and keeps the pictures;
// in the suite it is one more end-to-end test.
//
// Each step names the screen it waits for and what it does there; a step that
// does not see its screen in time ends the walk with a failure naming it.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

const char kProduct[] = u8"オルベロ";
// The directory that the destination dialog proposes for the sample.
const char kInstallDir[] = "C:\\Program Files\\Quorvane\\Orbelo_Sample";
// Whether the walk goes on into the uninstallation of what it installed.
constexpr bool kWalkUninstallation = true;

std::string InstalledFile(const char* name) { return std::string(kInstallDir) + "\\" + name; }

// Where the screenshots go: E2E_SCREENS (a unix or Windows path) when set,
// otherwise the artifacts directory.
std::string ScreensDir() {
    const char* configured = getenv("E2E_SCREENS");
    std::string dir;
    if (configured && *configured) {
        dir = configured[0] == '/' ? ZPath(configured) : configured;
    } else {
        dir = ArtifactPath("demo-screens");
    }
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

class Walk {
public:
    explicit Walk(std::string screens) : screens_(std::move(screens)) {}

    // Saves the screen as NN-name.bmp.
    void Shoot(const std::string& name) {
        char file[64];
        snprintf(file, sizeof(file), "%02d-%s.bmp", ++shots_, name.c_str());
        // The window was just found; let its first paint reach the screen.
        Sleep(300);
        Screenshot shot = Screenshot::Take();
        std::string path = screens_ + "\\" + file;
        EXPECT_TRUE(shot.SaveBmp(path)) << path;
        Log(std::string("screen ") + file);
    }

    Process run;

private:
    std::string screens_;
    int shots_ = 0;
};

struct Step {
    const char* name;
    // Waits for the step's screen, checks it, photographs it and answers it;
    // false ends the walk.
    std::function<bool(Walk&)> run;
};

// A step for a message box with this exact title and text, answered with
// `press`.
Step MessageStep(const char* name, std::string title, std::string text, int press) {
    return {name, [=](Walk& walk) {
                Window box = walk.run.WaitMessageBox();
                if (!box.found()) return false;
                EXPECT_EQ(box.title, title) << box.title;
                EXPECT_EQ(box.text, text) << box.text;
                walk.Shoot(name);
                return box.Answer(press);
            }};
}

std::vector<Step> InstallationSteps(const std::string& installer) {
    return {
        {"start",
         [=](Walk& walk) {
             walk.run = Driver::Start(installer);
             return walk.run.started();
         }},
        {"background",
         [](Walk& walk) {
             Window background = walk.run.WaitWindowTitled(InstallerTitle(kProduct));
             return background.found() && background.visible;
         }},
        {"licence",
         [](Walk& walk) {
             Window licence = walk.run.WaitWindowTitled(u8"利用規約");
             if (!licence.found()) return false;
             EXPECT_EQ(licence.ControlText(IDOK), u8"承諾する");
             EXPECT_EQ(licence.ControlText(IDCANCEL), u8"承諾しない");
             licence.WaitControlText(1020, u8"第1条（目的）");
             walk.Shoot("licence");
             return licence.Answer(IDOK);
         }},
        {"destination",
         [](Walk& walk) {
             Window dialog = walk.run.WaitWindowTitled(u8"インストール先のディレクトリ入力");
             if (!dialog.found()) return false;
             EXPECT_EQ(dialog.ControlText(1000), kInstallDir);
             walk.Shoot("destination");
             return dialog.Answer(IDOK);
         }},
        MessageStep("installed", InstallerTitle(kProduct),
                    std::string(kProduct) + u8"のインストールを終了します。", IDOK),
        {"installer ends",
         [](Walk& walk) {
             EXPECT_EQ(walk.run.WaitExit(), 0);
             if (!walk.run.WaitAllExit()) return false;
             // The product arrived expanded, byte for byte as built.
             EXPECT_EQ(ReadFileBytes(InstalledFile("Orbelo.exe")),
                       ReadFileBytes(BuildPath("Orbelo.exe")));
             EXPECT_EQ(ReadFileBytes(InstalledFile("start.rtf")),
                       ReadFileBytes(SourcePath("sample/start.rtf")));
             return FileExists(InstalledFile("install.exe"));
         }},
        {"product",
         [](Walk& walk) {
             walk.run = Driver::Start(InstalledFile("Orbelo.exe"));
             Window product = walk.run.WaitWindowTitled(kProduct);
             if (!product.found()) return false;
             walk.Shoot("product");
             product.Close();
             return walk.run.WaitExit() == 0;
         }},
    };
}

std::vector<Step> UninstallationSteps() {
    return {
        {"start uninstaller",
         [](Walk& walk) {
             // The Uninstall entry's command line, as Windows runs it.
             walk.run = StartUninstaller(kProduct);
             return walk.run.started();
         }},
        MessageStep("confirm uninstall", UninstallerTitle(kProduct),
                    std::string(kProduct) + u8" をアンインストールしますか？", IDYES),
        {"uninstalling",
         [](Walk& walk) {
             Window dialog = walk.run.WaitWindow(
                 [](const Window& w) { return w.Find(1019) != nullptr; }, "uninstall dialog");
             if (!dialog.found()) return false;
             DWORD start = GetTickCount();
             while (!dialog.Find(1019)->enabled && GetTickCount() - start < kWindowTimeout) {
                 Sleep(kPollInterval);
                 dialog.Refresh();
             }
             walk.Shoot("uninstalled");
             return dialog.Press(1019);
         }},
        MessageStep("uninstall finished", UninstallerTitle(kProduct),
                    std::string(kProduct) + u8"のアンインストールを終了します。", IDOK),
        {"uninstaller ends",
         [](Walk& walk) { return walk.run.WaitAllExit() && !UninstallEntryExists(kProduct); }},
    };
}

void RunSteps(Walk& walk, const std::vector<Step>& steps) {
    for (const Step& step : steps) {
        Log(std::string("step ") + step.name);
        bool ok = step.run(walk);
        if (!ok || ::testing::Test::HasFailure()) {
            ADD_FAILURE() << "the walk-through stopped at step " << step.name;
            return;
        }
    }
}

}  // namespace

TEST(Demo, WalkThrough) {
    // E2E_PACKAGE (a unix or Windows path): another build of the sample, a
    // signed copy say.
    const char* package = getenv("E2E_PACKAGE");
    std::string installer = ZPath(std::string(INSTALLER_BUILD_DIR) + "/../sample-x64/install.exe");
    if (package && *package) installer = package[0] == '/' ? ZPath(package) : package;
    ASSERT_TRUE(FileExists(installer)) << installer << " is built by tools/build_sample.sh";
    // What the walk installs is taken away again afterwards.
    RegistrationGuard registration(SampleProductTraces());
    // The uninstaller's temporary copy and its deletion at restart, and
    // Wine's mirror of the shortcuts in the host's menus.
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    Walk walk(ScreensDir());
    std::vector<Step> steps = InstallationSteps(installer);
    if (kWalkUninstallation) {
        for (Step& step : UninstallationSteps()) steps.push_back(step);
    }
    RunSteps(walk, steps);
}

// Any package, walked through with the default answers: the licence
// accepted, the proposed destination taken, every message answered with OK
// (Yes where it asks); each screen photographed. `make demo PACKAGE=...`
// runs it on the package that E2E_PACKAGE names (a unix or Windows path).
TEST(Demo, AnyPackage) {
    const char* package = getenv("E2E_PACKAGE");
    if (!package || !*package) GTEST_SKIP() << "E2E_PACKAGE names the package to walk through";
    std::string installer = package[0] == '/' ? ZPath(package) : package;
    ASSERT_TRUE(FileExists(installer)) << installer;
    Walk walk(ScreensDir());
    walk.run = Driver::Start(installer);
    ASSERT_TRUE(walk.run.started());
    std::set<HWND> answered;
    DWORD start = GetTickCount();
    while (walk.run.Running() && GetTickCount() - start < 5 * kExitTimeout) {
        bool acted = false;
        for (const Window& window : walk.run.Windows()) {
            bool answerable = window.IsMessageBox() || window.Find(IDOK) != nullptr;
            if (!answerable || !window.enabled || answered.count(window.hwnd)) continue;
            Log("screen: " + window.title + (window.text.empty() ? "" : ": " + window.text));
            walk.Shoot(window.IsMessageBox() ? "message" : "dialog");
            int press = window.Find(IDYES) ? IDYES : IDOK;
            answered.insert(window.hwnd);
            window.Answer(press);
            acted = true;
            break;
        }
        if (!acted) Sleep(kPollInterval);
    }
    long code = walk.run.WaitExit();
    Log("the installer ended with exit code " + std::to_string(code));
    EXPECT_EQ(code, 0) << "the default answers should install the package";
    walk.run.WaitAllExit();
}
