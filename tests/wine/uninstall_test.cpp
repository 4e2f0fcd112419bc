// The uninstallation's own work on the real prefix: the UninstallDialog as
// the user meets it (and what Escape does to it), the removal of the listed
// files with their messages, the system files scheduled for deletion at
// restart, and the directories removed as far as the installation created
// them.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/registry_entries_win.h"
#include "engine/step_state.h"
#include "engine/uninstall_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "tests/wine/engine_fixture.h"
#include "tests/wine/registry_probe.h"

using namespace engine_test;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932.
const char kName[] = "ソフト表示";

std::string DeleteFailure(const std::string& name) {
    return "ファイル(" + name + ")の削除ができません。";
}

// Runs the thread's messages through the dialog manager, as the program's
// message loop does for its modeless dialogs, for about ms milliseconds.
void Pump(int ms) {
    for (DWORD start = GetTickCount(); GetTickCount() - start < static_cast<DWORD>(ms);) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            HWND dialog = UninstallDialogHandle();
            if (dialog && IsDialogMessageA(dialog, &message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(5);
    }
}

// A key typed into the focused control of the dialog.
void Type(WPARAM key) {
    DialogDriver(GetCurrentThreadId()).PressKey(key);
    Pump(100);
}

constexpr auto ItemText = &DialogDriver::ItemText;

bool Checked(HWND dialog, int id) {
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

class UninstallTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Config().ProgramName = kName;
        Config().InstallDir = (base() + "inst\\").c_str();
        StepHold = kStepRun;
    }
    void TearDown() override {
        CloseUninstallDialog();
        StepHold = kStepRun;
        Config().ProgramName = "";
        Config().RegCreateDirectory = "";
        if (!machineKey_.empty()) DeleteKeyTree(HKEY_LOCAL_MACHINE, machineKey_.c_str());
        EngineTest::TearDown();
    }
    std::string Installed(const std::string& name) { return Config().InstallDir.c_str() + name; }
    void List(const char* name, const char* code) {
        Config().CopyList.Add(name);
        Config().CopyTypes.Add(code);
    }
    // An Install key of this test only, under HKLM\Software.
    void UseInstallKey() {
        machineKey_ = "Software\\UninstallTest" + std::to_string(GetCurrentProcessId());
        installKey_ = machineKey_ + "\\Install";
        Config().RegCreateDirectory = installKey_.c_str();
    }

    std::string machineKey_;
    std::string installKey_;
};

}  // namespace

TEST_F(UninstallTest, TheDialogShowsItsTextsAndKeepsTheBoxesForTheProgram) {
    // Standing for the background window, which owns the dialog.
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    ASSERT_TRUE(OpenUninstallDialog(owner));
    HWND dialog = UninstallDialogHandle();
    ASSERT_NE(dialog, nullptr);
    Pump(100);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), owner);
    char caption[256] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_EQ(std::string(caption), std::string(kName) + " アンインストーラ");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_TEXT),
              std::string(kName) + "をアンインストールしています。しばらくお待ちください．．．");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_FOLDER), "プログラムフォルダの削除");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_REGISTRY), "プログラム登録項目の削除");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_FILES), "プログラムファイルの削除");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_DIRS), "プログラムディレクトリの削除");
    EXPECT_EQ(ItemText(dialog, IDC_UNINST_DONE), "完了");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_UNINST_DONE)));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_UNINST_FOLDER));

    // A click on a box changes nothing; the program checks them.
    SendDlgItemMessageA(dialog, IDC_UNINST_FOLDER, BM_CLICK, 0, 0);
    Pump(50);
    EXPECT_FALSE(Checked(dialog, IDC_UNINST_FOLDER));
    EndUninstallPhase(IDC_UNINST_FOLDER);
    StartUninstallPhase(IDC_UNINST_REGISTRY);
    EXPECT_TRUE(Checked(dialog, IDC_UNINST_FOLDER));
    EXPECT_FALSE(Checked(dialog, IDC_UNINST_REGISTRY));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_UNINST_REGISTRY));
    // The dialog goes with its owner.
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(UninstallDialogHandle(), nullptr);
}

// While the removal runs nothing ends the dialog: the sequencer would stay
// held with no button left to release it.
TEST_F(UninstallTest, NothingEndsTheDialogBeforeTheEnd) {
    ASSERT_TRUE(OpenUninstallDialog(nullptr));
    HWND dialog = UninstallDialogHandle();
    StepHold = kStepHeld;
    Type(VK_ESCAPE);
    Type(VK_RETURN);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_UNINST_DONE, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_UNINST_DONE)));
    Pump(200);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_EQ(UninstallDialogHandle(), dialog);
    EXPECT_EQ(StepHold, kStepHeld);
}

// At the end "完了" has the focus and message 24; the button, Return, Escape
// and the close command each release the hold and end the dialog.
TEST_F(UninstallTest, AtTheEndEveryWayOutReleasesTheHold) {
    struct Way {
        const char* what;
        void (*act)(HWND dialog);
    } ways[] = {
        {"button", [](HWND dialog) { SendDlgItemMessageA(dialog, IDC_UNINST_DONE, BM_CLICK, 0, 0); }},
        {"return", [](HWND) { Type(VK_RETURN); }},
        {"escape", [](HWND) { Type(VK_ESCAPE); }},
        {"close", [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        ASSERT_TRUE(OpenUninstallDialog(nullptr));
        HWND dialog = UninstallDialogHandle();
        for (int id : {IDC_UNINST_FOLDER, IDC_UNINST_REGISTRY, IDC_UNINST_FILES, IDC_UNINST_DIRS})
            EndUninstallPhase(id);
        ShowUninstallComplete();
        StepHold = kStepHeld;
        Pump(50);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_UNINST_DONE)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_UNINST_DONE));
        EXPECT_EQ(ItemText(dialog, IDC_UNINST_TEXT),
                  std::string(kName) +
                      "のアンインストールが完了しました。\r\n［完了］ボタンをクリックしてください。");
        way.act(dialog);
        Pump(100);
        EXPECT_FALSE(IsWindow(dialog));
        EXPECT_EQ(UninstallDialogHandle(), nullptr);
        EXPECT_EQ(StepHold, kStepReleased);
    }
}

TEST_F(UninstallTest, ListedFilesGoAndOnlyRequiredOnesThatStayAreReported) {
    ASSERT_TRUE(CreateDirectoryA(Config().InstallDir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(Installed("sub").c_str(), nullptr));
    for (const char* name : {"plain.txt", "readonly.txt", "locked.txt", "locked5.txt",
                             "lockedopt.txt", "after.txt", "sub\\x.dat", "sub\\a.tmp",
                             "sub\\b.tmp", "sub\\keep.txt", "a.log", "HELP.GID", "other.gid"}) {
        WriteFileBytes(Installed(name), name);
    }
    SetFileAttributesA(Installed("readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    List("plain.txt", "1");
    List("readonly.txt", "1");  // made writable and deleted
    List("gone.txt", "1");      // already gone: nothing to say
    List("locked.txt", "1");
    List("locked5.txt", "5");
    List("lockedopt.txt", "0");  // optional: its failure is silent
    List("sub\\x.dat", "1");
    List("sub\\*.tmp", "1");
    List("*.log", "N");
    List("after.txt", "1");
    // Open without delete sharing, as a program that still runs would.
    std::vector<HANDLE> held;
    for (const char* name : {"locked.txt", "locked5.txt", "lockedopt.txt"}) {
        held.push_back(CreateFileA(Installed(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    FileRemoval removal;
    std::vector<std::string> texts;
    {
        BoxAnswerer boxes;
        removal = RemoveInstalledFiles();
        texts = boxes.Texts();
    }
    for (HANDLE handle : held) CloseHandle(handle);
    EXPECT_TRUE(removal.systemFilesFound);
    // The required files that stayed make the uninstallation incomplete.
    EXPECT_FALSE(removal.listedFilesGone);
    EXPECT_EQ(texts, (std::vector<std::string>{DeleteFailure("locked.txt"),
                                               DeleteFailure("locked5.txt")}));
    for (const char* gone : {"plain.txt", "readonly.txt", "after.txt", "sub\\x.dat", "sub\\a.tmp",
                             "sub\\b.tmp", "a.log", "HELP.GID", "other.gid"}) {
        EXPECT_FALSE(Exists(Installed(gone))) << gone;
    }
    for (const char* kept : {"locked.txt", "locked5.txt", "lockedopt.txt", "sub\\keep.txt"}) {
        EXPECT_TRUE(Exists(Installed(kept))) << kept;
    }
}

TEST_F(UninstallTest, SystemFilesAreScheduledUntilTheFirstMissingOne) {
    PendingRenameGuard guard;
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    std::string tag = std::to_string(GetCurrentProcessId());
    std::string first = "uninst-" + tag + "-1.dll", second = "uninst-" + tag + "-2.dll",
                third = "uninst-" + tag + "-3.dll", missing = "uninst-" + tag + "-0.dll";
    auto inSystem = [&](const std::string& name) { return std::string(system) + "\\" + name; };
    for (const std::string& name : {first, second, third}) WriteFileBytes(inSystem(name), name);
    ASSERT_TRUE(CreateDirectoryA(Config().InstallDir.c_str(), nullptr));
    WriteFileBytes(Installed("late.GID"), "index");

    Config().SystemFiles.Add(first.c_str());
    Config().SystemFiles.Add(second.c_str());
    {
        BoxAnswerer boxes;
        FileRemoval removal = RemoveInstalledFiles();
        EXPECT_TRUE(removal.systemFilesFound);
        EXPECT_TRUE(removal.listedFilesGone);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    std::vector<std::string> pending = PendingOperations();
    EXPECT_TRUE(HasDeletion(pending, inSystem(first)));
    EXPECT_TRUE(HasDeletion(pending, inSystem(second)));

    Config().SystemFiles.Clear();
    Config().SystemFiles.Add(third.c_str());
    Config().SystemFiles.Add(missing.c_str());
    Config().SystemFiles.Add(first.c_str());
    size_t before = PendingOperations().size();
    std::vector<std::string> texts;
    {
        BoxAnswerer boxes;
        EXPECT_FALSE(RemoveInstalledFiles().systemFilesFound);
        texts = boxes.Texts();
    }
    EXPECT_EQ(texts, std::vector<std::string>{"ファイル（" + inSystem(missing) +
                                              "）のコピーができません。"});
    pending = PendingOperations();
    // The third was scheduled, nothing after the missing one was.
    EXPECT_EQ(pending.size(), before + 2);
    EXPECT_TRUE(HasDeletion(pending, inSystem(third)));
    // The help index files go all the same.
    EXPECT_FALSE(Exists(Installed("late.GID")));
    for (const std::string& name : {first, second, third}) DeleteFileA(inSystem(name).c_str());
}

TEST_F(UninstallTest, DirectoriesGoAsFarAsTheInstallationCreatedThem) {
    UseInstallKey();
    struct Case {
        const char* what;
        const char* installDir;  // below base()
        const char* chain;       // recorded, or null for none
        const char* userFile;    // left in the installation directory, or null
        const char* neighbour;   // another entry beside the installation directory
        bool listsInstallParent;  // an [UnInstall] HLM item holds the Install key
        std::vector<const char*> gone;
        std::vector<const char*> kept;
    } cases[] = {
        {"two created levels", "made\\inst", "made\\inst", nullptr, nullptr, false,
         {"made\\inst\\sub\\deeper", "made\\inst", "made"}, {""}},
        {"a user file keeps the directory and its parents", "made\\inst", "made\\inst", "mine.txt",
         nullptr, false, {"made\\inst\\sub\\deeper", "made\\inst\\sub"}, {"made\\inst", "made"}},
        {"an existing directory is never removed", "existing", nullptr, nullptr, nullptr, false,
         {"existing\\sub"}, {"existing"}},
        {"a parent with other entries stays", "made\\inst", "made\\inst", nullptr, "made\\other",
         false, {"made\\inst"}, {"made", "made\\other"}},
        {"a listed key holding the record", "made\\inst", "made\\inst", nullptr, nullptr, true,
         {"made\\inst", "made"}, {""}},
        {"a record of other levels", "have\\inst", "made\\inst", nullptr, nullptr, false,
         {"have\\inst\\sub"}, {"have\\inst", "have"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Config().InstallDir = (base() + c.installDir + "\\").c_str();
        Config().CopyList.Clear();
        Config().CopyList.Add("sub\\deeper\\x.txt");
        Config().CopyList.Add("sub\\y.txt");
        std::string top = base() + std::string(c.installDir).substr(0, std::string(c.installDir).find('\\'));
        for (const char* dir : {"", "\\sub", "\\sub\\deeper"}) {
            CreateDirectoryA(top.c_str(), nullptr);
            ASSERT_TRUE(CreateDirectoryA((base() + c.installDir + dir).c_str(), nullptr) ||
                        GetLastError() == ERROR_ALREADY_EXISTS);
        }
        if (c.userFile) WriteFileBytes(Installed(c.userFile), "user data");
        if (c.neighbour) CreateDirectoryA((base() + c.neighbour).c_str(), nullptr);
        if (c.chain) {
            ASSERT_TRUE(RecordCreatedItem(c.chain));
        }
        // The product keeps its own data in the key that holds the Install
        // key, and the script lists that key for deletion.
        Config().UninstallMachineKeys.Clear();
        if (c.listsInstallParent) {
            Config().UninstallMachineKeys.Add(machineKey_.c_str());
            HKEY key;
            ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, machineKey_.c_str(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            RegSetValueExA(key, "Data", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
            RegCloseKey(key);
        }

        RemoveRegistrationEntries();
        RemoveInstallDirectories();
        for (const char* gone : c.gone) EXPECT_FALSE(Exists(base() + gone)) << gone;
        for (const char* kept : c.kept) EXPECT_TRUE(IsDirectory(base() + kept)) << kept;
        // The record is taken back with the keys it needed.
        EXPECT_FALSE(registry_test::KeyExists(HKEY_LOCAL_MACHINE, machineKey_));
        RemoveTree(top);
    }
}
