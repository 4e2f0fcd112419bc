// The step sequencer driving the real background window by its timer: the
// installation and uninstallation roads, the messages they show, and the
// ticks that arrive while a message box waits for the user.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/step_sequencer_win.h"
#include "engine/step_state.h"
#include "engine/uninstall_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "tests/wine/engine_fixture.h"
#include "ui/background_wnd_win.h"

using namespace engine_test;

namespace {

const char kName[] = "テスト製品";

class SequencerTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StepBusy = false;
        StepHold = kStepRun;
        Config().ProgramName = kName;
        // Step 5 registers the product: no folder window, and nothing of it
        // left in the prefix afterwards.
        Config().InstDispProgramMenu = 0;
        Config().UnInstDispProgramMenu = 0;
        Config().ScriptDir = (base() + "pkg\\").c_str();
        Config().InstallDir = (base() + "inst\\").c_str();
        ASSERT_TRUE(CreateDirectoryA(Config().ScriptDir.c_str(), nullptr));
    }
    void TearDown() override {
        StepBusy = false;
        StepHold = kStepRun;
        SHDeleteKeyA(HKEY_LOCAL_MACHINE,
                     (std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") + kName)
                         .c_str());
        char programs[MAX_PATH] = "";
        if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_COMMON_PROGRAMS, nullptr, 0, programs))) {
            RemoveDirectoryA((std::string(programs) + "\\" + kName).c_str());
        }
        Config().InstDispProgramMenu = 1;
        Config().UnInstDispProgramMenu = 1;
        EngineTest::TearDown();
    }

    void Package(const std::string& name, const std::string& bytes) {
        WriteFileBytes(Config().ScriptDir.c_str() + name, bytes);
    }
    void List(const char* name, const char* code) {
        Config().CopyList.Add(name);
        Config().CopyTypes.Add(code);
    }
    std::string Installed(const std::string& name) {
        return ReadFileBytes(Config().InstallDir.c_str() + name);
    }

    // Creates the background window at step state, starts its step timer (a
    // short period keeps the tests quick; nothing depends on it) and runs the
    // message loop until the window ends the run. onIdle runs between
    // messages. False when the run did not end in time.
    bool Run(int32_t state, const std::function<void()>& onIdle = nullptr) {
        BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
        if (!window) return false;
        window->StepState = state;
        window_ = window->Handle();
        SetTimer(window_, kStepTimerId, 20, nullptr);
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) return true;
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            if (onIdle) onIdle();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        ADD_FAILURE() << "the sequence did not end; state " << window->StepState;
        DestroyWindow(window_);
        MSG message;
        PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        return false;
    }

    HWND window_ = nullptr;
};

std::string CopyFailure(const std::string& name) {
    return "ファイル（" + name + "）のコピーができません。";
}

std::string InstallError() {
    return std::string(kName) +
           "のインストール中にエラーが発生したため、インストールを中断しました。\n"
           "必要であれば、再度インストールを行ってください。";
}

}  // namespace

TEST_F(SequencerTest, SilentInstallationCopiesAndEndsWithoutAMessage) {
    Config().SilentMode = true;
    Package("a.ex_", LiteralSzdd("program"));
    Package("b.txt", "text");
    List("a.exe", "1");
    List("b.txt", "1");
    BoxAnswerer boxes;
    ASSERT_TRUE(Run(2));
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(Installed("a.exe"), "program");
    EXPECT_EQ(Installed("b.txt"), "text");
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_EQ(MainBackgroundWnd(), nullptr);
    EXPECT_FALSE(StepBusy);
}

TEST_F(SequencerTest, FailingFilesShowTheirMessagesThenOneErrorMessage) {
    Config().SilentMode = true;  // failures are shown in every mode
    Package("ok.txt", "ok");
    List("miss1.dll", "1");
    List("ok.txt", "1");
    List("miss2.dll", "1");
    // The user takes a while with each box; the timer keeps ticking meanwhile.
    BoxAnswerer boxes(300);
    ASSERT_TRUE(Run(2));
    EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{CopyFailure("miss1.dll"),
                                                       CopyFailure("miss2.dll"), InstallError()}));
    EXPECT_EQ(Installed("ok.txt"), "ok");
    EXPECT_FALSE(IsWindow(window_));
}

TEST_F(SequencerTest, InteractiveInstallationEndsWithTheCompletionMessage) {
    Package("a.txt", "a");
    List("a.txt", "1");
    BoxAnswerer boxes(200);
    ASSERT_TRUE(Run(2));
    std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, std::string(kName) + "のインストールを終了します。");
    EXPECT_EQ(seen[0].icon, LoadIconA(nullptr, IDI_INFORMATION));
    EXPECT_EQ(Installed("a.txt"), "a");
}

TEST_F(SequencerTest, CancelledDirectoryEndsWithItsOwnMessageOnly) {
    Config().InstallPath = "engine-cancel-test";
    BoxAnswerer boxes(100, "インストール先のディレクトリ入力");
    ASSERT_TRUE(Run(1));
    EXPECT_EQ(boxes.Cancelled(), 1);
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{std::string(kName) +
                                       "のインストールを終了します。\n"
                                       "必要であれば、再度インストールを行ってください。"});
}

// The relaunched copy records its own deletion when it starts (whichever
// way it ends); the sequence adds no second record of it.
TEST_F(SequencerTest, SilentUninstallationEndsQuietly) {
    PendingRenameGuard guard;
    Config().SilentMode = true;
    Config().UninstallMode = true;
    BoxAnswerer boxes;
    ASSERT_TRUE(Run(100));
    EXPECT_TRUE(boxes.Texts().empty());
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_FALSE(HasDeletion(PendingOperations(), self));
    EXPECT_FALSE(StepBusy);
    EXPECT_EQ(StepHold, kStepRun);
}

TEST_F(SequencerTest, InteractiveUninstallationWaitsForTheCompletionButton) {
    PendingRenameGuard guard;
    Config().UninstallMode = true;
    BoxAnswerer boxes(100);
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD heldSince = 0;
    bool released = false;
    ASSERT_TRUE(Run(100, [&] {
        if (released || StepHold != kStepHeld) return;
        if (!heldSince) heldSince = GetTickCount();
        // Ticks during the hold change nothing.
        EXPECT_TRUE(StepBusy);
        ASSERT_NE(MainBackgroundWnd(), nullptr);
        EXPECT_EQ(MainBackgroundWnd()->StepState, 102);
        if (GetTickCount() - heldSince > 500) {
            // The completion button of the uninstall dialog releases the hold.
            HWND done = GetDlgItem(UninstallDialogHandle(), IDC_UNINST_DONE);
            ASSERT_TRUE(IsWindowEnabled(done));
            SendMessageA(done, BM_CLICK, 0, 0);
            EXPECT_EQ(UninstallDialogHandle(), nullptr);
            released = true;
        }
    }));
    EXPECT_TRUE(released);
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{std::string(kName) + "のアンインストールを終了します。"});
    EXPECT_FALSE(HasDeletion(PendingOperations(), self));
}
