// The registration as the installation's steps carry it out: the levels the
// destination dialog creates are recorded, install step 5 writes the entries,
// the folder, the shortcuts and the desktop icon, and uninstall step 100
// takes the folder and the registry entries away again.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

#include "engine/registry_entries_win.h"
#include "engine/step_sequencer_win.h"
#include "engine/step_state.h"
#include "package/setup_config.h"
#include "tests/wine/engine_fixture.h"
#include "tests/wine/registry_probe.h"
#include "ui/background_wnd_win.h"
#include "ui/dest_dir_dialog_win.h"

using namespace engine_test;
using namespace registry_test;

namespace {

const char kName[] = "登録ソフト";

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path))) return "";
    return path;
}

class RegistrationStepsTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        tag_ = "RegSteps" + std::to_string(GetCurrentProcessId());
        vendorKey_ = "Software\\" + tag_;
        uninstallKey_ = std::string(kUninstallKeyPath) + "\\" + kName;
        appPathKey_ = std::string(kAppPathsKeyPath) + "\\" + tag_ + ".exe";
        folder_ = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\" + tag_ + " ソフト";
        desktopLink_ = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\" + tag_ + ".lnk";
        StepBusy = false;
        StepHold = kStepRun;
        SetupConfig& config = Config();
        config.ProgramName = kName;
        config.RegUninstall = kName;
        config.RegCreateDirectory = (vendorKey_ + "\\Install").c_str();
        config.SilentMode = true;
    }
    void TearDown() override {
        RemoveKeyTree(HKEY_LOCAL_MACHINE, vendorKey_);
        RemoveKeyTree(HKEY_CURRENT_USER, vendorKey_);
        RemoveKeyTree(HKEY_LOCAL_MACHINE, uninstallKey_);
        RemoveKeyTree(HKEY_LOCAL_MACHINE, appPathKey_);
        RemoveTree(folder_);
        DeleteFileA(desktopLink_.c_str());
        SetupConfig& config = Config();
        config.RegUninstall = "";
        config.RegCreateDirectory = "";
        config.ProgramFolders.Clear();
        config.GroupItems = GroupItemLists();
        config.DesktopIcons.Clear();
        config.UninstallUserKeys.Clear();
        StepBusy = false;
        StepHold = kStepRun;
        EngineTest::TearDown();
    }

    // Runs the background window's step timer from state until the window
    // ends the run.
    bool Run(int32_t state) {
        BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
        if (!window) return false;
        window->StepState = state;
        HWND handle = window->Handle();
        SetTimer(handle, kStepTimerId, 20, nullptr);
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000;) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (message.message == WM_QUIT) return true;
                DispatchMessageA(&message);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
        DestroyWindow(handle);
        MSG message;
        PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        return false;
    }

    std::string tag_, vendorKey_, uninstallKey_, appPathKey_, folder_, desktopLink_;
};

}  // namespace

TEST_F(RegistrationStepsTest, TheDestinationDialogRecordsTheLevelsItCreated) {
    std::string top = base() + tag_;
    Config().InstallDir = (top + "\\ソ\\Orbelo").c_str();
    ASSERT_EQ(RunDestDirDialog(nullptr), IDOK);
    EXPECT_TRUE(IsDirectory(top + "\\ソ\\Orbelo"));
    std::string install = vendorKey_ + "\\Install";
    EXPECT_STREQ(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateDirectory").bytes.c_str(),
                 (tag_ + "\\ソ\\Orbelo").c_str());
    EXPECT_STREQ(ReadValue(HKEY_LOCAL_MACHINE, install, "CreateKeyPath").bytes.c_str(),
                 (tag_ + "\\Install").c_str());
    char restore[MAX_PATH];
    GetTempPathA(sizeof restore, restore);
    SetCurrentDirectoryA(restore);
}

TEST_F(RegistrationStepsTest, StepFiveRegistersAndStepHundredRemovesTheRegistration) {
    PendingRenameGuard guard;
    std::string dir = base() + "inst ソ";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    std::string program = tag_ + ".exe";
    WriteFileBytes(dir + "\\" + program, "program");
    SetupConfig& config = Config();
    config.InstallDir = (dir + "\\").c_str();
    config.MainProgram = program.c_str();
    config.UnInstallerProgram = "install.exe";
    config.UninstallArgsFormat = "-u -p \"%s\"";
    config.UnInstallIcon = "uninstall.ico";
    config.ProgramFolders.Add((tag_ + " ソフト").c_str());
    config.GroupItems.names.Add(kName);
    config.GroupItems.targets.Add(program.c_str());
    config.GroupItems.args.Add("");
    config.GroupItems.names.Add("削除");
    config.GroupItems.targets.Add("install.exe");
    config.GroupItems.args.Add("-u -p \"%s\"");
    config.DesktopIcons.Add((program + "," + tag_).c_str());
    config.UninstallUserKeys.Add((vendorKey_ + "\\Settings").c_str());

    ASSERT_TRUE(Run(5));
    EXPECT_STREQ(ReadValue(HKEY_LOCAL_MACHINE, uninstallKey_, "UninstallString").bytes.c_str(),
                 ("\"" + dir + "\\install.exe\" -u -p \"" + dir + "\"").c_str());
    EXPECT_STREQ(ReadValue(HKEY_LOCAL_MACHINE, uninstallKey_, "DisplayName").bytes.c_str(), kName);
    EXPECT_STREQ(ReadValue(HKEY_LOCAL_MACHINE, appPathKey_, nullptr).bytes.c_str(),
                 (dir + "\\" + program).c_str());
    EXPECT_EQ(ReadLink(folder_ + "\\" + kName + ".lnk").target, dir + "\\" + program);
    LinkContents remove = ReadLink(folder_ + "\\削除.lnk");
    EXPECT_EQ(remove.arguments, "-u -p \"" + dir + "\"");
    EXPECT_EQ(remove.iconPath, dir + "\\uninstall.ico");
    EXPECT_EQ(ReadLink(desktopLink_).target, dir + "\\" + program);

    // The product ran and kept its settings.
    WriteString(HKEY_CURRENT_USER, vendorKey_ + "\\Settings\\Window", "Left", "10");
    config.UninstallMode = true;
    ASSERT_TRUE(Run(100));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, uninstallKey_));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, appPathKey_));
    EXPECT_FALSE(Exists(folder_));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, vendorKey_ + "\\Settings"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, vendorKey_));
}
