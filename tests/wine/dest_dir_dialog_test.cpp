// The destination directory dialog as the user meets it: typed, browsed,
// refused, cancelled and closed, with the directories really created.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "tests/support/small_volume.h"
#include "tests/wine/dialog_driver.h"
#include "tests/wine/engine_fixture.h"
#include "ui/dest_dir_dialog_win.h"

namespace {

using engine_test::Exists;
using engine_test::RemoveTree;

const char kCaption[] = "インストール先のディレクトリ入力";
const char kBrowserCaption[] = "フォルダーの参照";

std::string CurrentDirectory() {
    char buffer[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof buffer, buffer);
    return buffer;
}

std::string Message(UINT id) { return LoadMessageText(id).c_str(); }

class DestDirDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        base_ = std::string(temp) + "destdir-" + std::to_string(GetCurrentProcessId()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        ASSERT_TRUE(CreateDirectoryA(base_.c_str(), nullptr));
        base_ += "\\";
        savedDirectory_ = CurrentDirectory();
        SetupConfig& config = Config();
        config.ProgramName = "Orbelo";
        config.InstallDir = base_.c_str();
        config.InstallPath = "";
        config.DstNeedSpace = 4096;
        config.SilentMode = false;
        // The created levels are recorded under an Install key of this test.
        recordKey_ = "Software\\DestDirDialogTest" + std::to_string(GetCurrentProcessId());
        config.RegCreateDirectory = (recordKey_ + "\\Install").c_str();
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedDirectory_.c_str());
        RemoveTree(base_.substr(0, base_.size() - 1));
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, recordKey_.c_str());
        Config().RegCreateDirectory = "";
        Config().SilentMode = false;
    }

    std::string base_;  // an existing directory of this test, with its backslash
    std::string savedDirectory_;
    std::string recordKey_;
};

TEST_F(DestDirDialogTest, TypedDirectoryIsCreatedLevelByLevelAndBecomesCurrent) {
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               DialogDriver::SetItemText(dialog, IDC_DESTDIR_EDIT,
                                                         "  " + base_ + "Quorvane\\Orbelo \t");
                               DialogDriver::Press(dialog, IDOK);
                           });
    EXPECT_EQ(result, IDOK);
    std::string installDir = base_ + "Quorvane\\Orbelo\\";
    EXPECT_EQ(std::string(Config().InstallDir.c_str()), installDir);
    EXPECT_TRUE(Exists(base_ + "Quorvane\\Orbelo"));
    EXPECT_EQ(CurrentDirectory() + "\\", installDir);
}

TEST_F(DestDirDialogTest, ValidationOnDiskReportsOnlyTheLevelsItCreated) {
    DestDirVerdict verdict = ValidateDestDirOnDisk((base_ + "Quorvane\\Orbelo").c_str(), 0);
    EXPECT_EQ(verdict.message, 0);
    EXPECT_STREQ(verdict.createdChain.c_str(), "Quorvane\\Orbelo");
    EXPECT_EQ(CurrentDirectory(), base_ + "Quorvane\\Orbelo");

    verdict = ValidateDestDirOnDisk((base_ + "Quorvane\\Orbelo\\").c_str(), 0);
    EXPECT_EQ(verdict.message, 0);
    EXPECT_STREQ(verdict.createdChain.c_str(), "");

    verdict = ValidateDestDirOnDisk((base_ + "Quorvane\\Other").c_str(), 0);
    EXPECT_STREQ(verdict.createdChain.c_str(), "Other");

    // "ソ" ends in 0x5C: a level of its own, created under its whole name.
    verdict = ValidateDestDirOnDisk((base_ + "\x83\x5C\\\x95\x5C").c_str(), 0);
    EXPECT_EQ(verdict.message, 0);
    EXPECT_STREQ(verdict.createdChain.c_str(), "\x83\x5C\\\x95\x5C");
    EXPECT_TRUE(Exists(base_ + "\x83\x5C\\\x95\x5C"));

    // A name that cannot be created stops the walk; what was made goes again.
    verdict = ValidateDestDirOnDisk((base_ + "made\\deeper\\bad*name\\x").c_str(), 0);
    EXPECT_EQ(verdict.message, IDS_CANNOT_CREATE_DIR);
    EXPECT_STREQ(verdict.createdChain.c_str(), "");
    EXPECT_FALSE(Exists(base_ + "made"));
    EXPECT_TRUE(Exists(base_ + "Quorvane\\Orbelo"));
}

TEST_F(DestDirDialogTest, EachRefusalShowsItsMessageAndKeepsTheDialogOpen) {
    struct Case {
        std::string typed;
        UINT message;
    } cases[] = {
        {"Program Files\\Orbelo", IDS_NOT_ABSOLUTE},
        {"\\\\server\\share\\Orbelo", IDS_NOT_ABSOLUTE},
        {"Q:\\Orbelo", IDS_BAD_VOLUME},
        {"Q:\\a\\\\b", IDS_BAD_VOLUME},
        {"C:\\a\\\\b", IDS_BAD_DIRECTORY},
        {base_ + "x\\..\\y", IDS_BAD_DIRECTORY},
        {base_ + "bad*name", IDS_CANNOT_CREATE_DIR},
        {base_ + std::string(300, 'a'), IDS_CANNOT_CREATE_DIR},
    };
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               for (const Case& c : cases) {
                                   DialogDriver::SetItemText(dialog, IDC_DESTDIR_EDIT, c.typed);
                                   DialogDriver::Press(dialog, IDOK);
                                   EXPECT_EQ(driver.AnswerMessageBox(IDOK), Message(c.message))
                                       << c.typed;
                                   EXPECT_TRUE(IsWindowVisible(dialog)) << c.typed;
                                   EXPECT_EQ(DialogDriver::ItemText(dialog, IDC_DESTDIR_EDIT), c.typed);
                               }
                               DialogDriver::Press(dialog, IDCANCEL);
                           });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(Exists(base_ + "x"));
    // Every attempt, the failing ones too, leaves its directory in InstallDir.
    EXPECT_EQ(std::string(Config().InstallDir.c_str()), base_ + std::string(300, 'a') + "\\");
}

TEST_F(DestDirDialogTest, ShowsTheProposalAndFillsItsTextsWithDataNotFormats) {
    Config().ProgramName = "Orbelo 100%s%d";
    Config().InstallDir = "C:\\Program Files\\Quorvane\\";
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               EXPECT_EQ(DialogDriver::ItemText(dialog, IDC_DESTDIR_EDIT),
                                         "C:\\Program Files\\Quorvane");
                               EXPECT_EQ(DialogDriver::ItemText(dialog, IDC_DESTDIR_PROMPT),
                                         "Orbelo 100%s%dをインストールするディレクトリを入力して下さい。");
                               EXPECT_EQ(DialogDriver::ItemText(dialog, IDC_DESTDIR_EXAMPLE),
                                         "(例 C:\\Program Files\\Quorvane)");
                               EXPECT_EQ(driver.FocusedWindow(), GetDlgItem(dialog, IDOK));
                               DialogDriver::Press(dialog, IDCANCEL);
                           });
    // Cancel asks nothing: the run ends without a box being answered.
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DestDirDialogTest, CloseBoxAsksAndOnlyYesEndsTheDialog) {
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               driver.CloseRefusingOnce(
                                   dialog, FormatMessageText(IDS_CONFIRM_CLOSE, "Orbelo").c_str());
                           });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(DestDirDialogTest, SilentModeTakesTheProposalWithoutShowingTheDialog) {
    Config().SilentMode = true;
    Config().InstallDir = (base_ + "Quorvane\\Orbelo").c_str();
    int result = RunDriven([] { return RunDestDirDialog(nullptr); }, [](const DialogDriver&) {});
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(Exists(base_ + "Quorvane\\Orbelo"));
    EXPECT_EQ(std::string(Config().InstallDir.c_str()), base_ + "Quorvane\\Orbelo\\");
}

TEST_F(DestDirDialogTest, SilentModeWithABadProposalShowsWhyAndWaits) {
    Config().SilentMode = true;
    Config().InstallDir = "Program Files\\Orbelo";
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               EXPECT_EQ(driver.AnswerMessageBox(IDOK), Message(IDS_NOT_ABSOLUTE));
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               DialogDriver::SetItemText(dialog, IDC_DESTDIR_EDIT, base_ + "Orbelo");
                               DialogDriver::Press(dialog, IDOK);
                           });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(Exists(base_ + "Orbelo"));
}

// Wine's folder browser matches the preselected path level by level with
// item lists that carry each folder's last access time, and reading a folder
// that changed since it was last read moves that time (Linux relatime). Reads
// every level once so that the browser sees the times it compares.
void SettleAccessTimes(std::string path) {
    for (;;) {
        WIN32_FIND_DATAA data;
        HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            while (FindNextFileA(find, &data)) {
            }
            FindClose(find);
        }
        size_t slash = path.rfind('\\');
        if (slash == std::string::npos || slash < 3) break;
        path.resize(slash);
    }
}

TEST_F(DestDirDialogTest, BrowsedFolderReceivesTheLastTypedLevel) {
    ASSERT_TRUE(CreateDirectoryA((base_ + "chosen").c_str(), nullptr));
    SettleAccessTimes(base_ + "chosen");
    struct Case {
        std::string installDir;  // preselected in the browser
        int button;
        std::string expected;
    } cases[] = {
        {base_ + "chosen\\", IDOK, base_ + "chosen\\Orbelo"},
        {"C:\\", IDOK, "C:\\Orbelo"},
        {base_ + "chosen\\", IDCANCEL, "C:\\Program Files\\Orbelo"},
    };
    for (const Case& c : cases) {
        Config().InstallDir = c.installDir.c_str();
        RunDriven([] { return RunDestDirDialog(nullptr); }, [&](const DialogDriver& driver) {
            HWND dialog = driver.WaitForDialog(kCaption);
            ASSERT_NE(dialog, nullptr);
            DialogDriver::SetItemText(dialog, IDC_DESTDIR_EDIT, "C:\\Program Files\\Orbelo");
            DialogDriver::Press(dialog, IDC_DESTDIR_BROWSE);
            HWND browser = driver.WaitForDialog(kBrowserCaption);
            ASSERT_NE(browser, nullptr);
            EXPECT_EQ(DialogDriver::ItemText(browser, 0x3742),
                      "インストール先のフォルダを指定してください。");
            DialogDriver::Press(browser, c.button);
            EXPECT_TRUE(driver.WaitGone(browser));
            Sleep(100);
            EXPECT_EQ(DialogDriver::ItemText(dialog, IDC_DESTDIR_EDIT), c.expected) << c.installDir;
            DialogDriver::Press(dialog, IDCANCEL);
        });
    }
}

TEST_F(DestDirDialogTest, StepAskDirProposesTheWindowsDriveAndReportsACancel) {
    Config().InstallPath = "Program Files\\Quorvane\\Orbelo";
    char windowsDir[MAX_PATH];
    GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    std::string proposal = std::string(windowsDir, 3) + "Program Files\\Quorvane\\Orbelo";
    std::string shown;
    std::string told;
    int result = RunDriven([] { return StepAskDir() ? 1 : 0; },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               shown = DialogDriver::ItemText(dialog, IDC_DESTDIR_EDIT);
                               DialogDriver::Press(dialog, IDCANCEL);
                               told = driver.AnswerMessageBox(IDOK);
                           });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, proposal);
    EXPECT_EQ(told, std::string(FormatMessageText(IDS_INSTALL_ABORTED, "Orbelo").c_str()));
}

TEST_F(DestDirDialogTest, StepAskDirInSilentModeInstallsUnderTheWindowsDrive) {
    char windowsDir[MAX_PATH];
    GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    std::string top = "destdir-silent-" + std::to_string(GetCurrentProcessId());
    std::string root = std::string(windowsDir, 3);
    Config().SilentMode = true;
    Config().InstallPath = (top + "\\Orbelo").c_str();
    int result = RunDriven([] { return StepAskDir() ? 1 : 0; }, [](const DialogDriver&) {});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::string(Config().InstallDir.c_str()), root + top + "\\Orbelo\\");
    EXPECT_EQ(CurrentDirectory(), root + top + "\\Orbelo");
    SetCurrentDirectoryA(savedDirectory_.c_str());
    RemoveTree(root + top);
}

TEST_F(DestDirDialogTest, AVolumeWithoutRoomIsRefusedWithMessage3) {
    SmallVolume volume(4u << 20);
    if (!volume.Ready()) GTEST_SKIP() << "no small volume: " << volume.WhyNot();
    std::string target = volume.Root() + "Quorvane\\Orbelo";
    int result = RunDriven([] { return RunDestDirDialog(nullptr); },
                           [&](const DialogDriver& driver) {
                               HWND dialog = driver.WaitForDialog(kCaption);
                               ASSERT_NE(dialog, nullptr);
                               DialogDriver::SetItemText(dialog, IDC_DESTDIR_EDIT, target);
                               // 8 MiB needed on a 4 MiB volume.
                               Config().DstNeedSpace = 8 << 20;
                               DialogDriver::Press(dialog, IDOK);
                               EXPECT_EQ(driver.AnswerMessageBox(IDOK), Message(IDS_NO_SPACE));
                               EXPECT_TRUE(IsWindowVisible(dialog));
                               // 1 MiB fits: the same volume is now accepted.
                               Config().DstNeedSpace = 1 << 20;
                               DialogDriver::Press(dialog, IDOK);
                           });
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(Exists(target));
    SetCurrentDirectoryA(savedDirectory_.c_str());
}

}  // namespace
