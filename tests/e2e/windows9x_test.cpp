// The branches of the Windows 95/98/Me platform, run for real: Wine reports
// Windows 98 (platform 1, 4.10) to the programs it starts while the version
// setting says "win98". An installation and its uninstallation there use the
// current user's shell folders, no administrator check and no probe for the
// running product, and record the deletion at restart in WININIT.INI.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

const char kName[] = u8"ソフト表示98";
const char kFolder[] = u8"ソフト表示 98";
const char kInstallKey[] = "Software\\Quorvane\\E2E_Win98\\Install";
const char kUserKey[] = "Software\\Quorvane\\E2E_Win98\\User";
const char kAppPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Win98.exe";
// The product's settings key and the backup that every installation puts
// back over it.
const char kSettings[] = "Software\\Quorvane\\Orbelo_Sample";
const char kBackup[] = "Software\\Quorvane\\Orbelo_Sample_BACKUP";

Product Win98Product() {
    Product product;
    product.name = kName;
    product.setup = {"InstallPath=e2e\\win98-default",
                     "MainProgram=Win98.exe",
                     "UnInstallerProgram=install.exe,-u -p \"%s\"",
                     std::string("ProgramFolder_Group=") + kFolder,
                     std::string("IconOnDesktop0=Win98.exe,") + kFolder,
                     "InstDispProgramMenu=0",
                     "UnInstDispProgramMenu=0",
                     std::string("RegCreateDirectory=") + kInstallKey};
    product.sources = "Win98.exe=1\r\nreadme.txt=1\r\n";
    product.sections = std::string(u8"\r\n[Group]\r\nソフト表示=Win98.exe\r\n") +
                       "\r\n[UnInstall]\r\nHCU0=" + kUserKey + "\r\n";
    product.files = {{"Win98.exe", "the program"}, {"readme.txt", "read me\r\n"}};
    return product;
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}

bool KeyExists(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool SetUserValue(const char* path, const char* name, const char* text) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                 static_cast<DWORD>(strlen(text) + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool UserValueExists(const char* path, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    LONG status = RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// WININIT.INI of the Windows directory, as it was, put back at the end.
class WininitGuard {
public:
    WininitGuard() {
        char windows[MAX_PATH] = "";
        GetWindowsDirectoryA(windows, MAX_PATH);
        path_ = std::string(windows) + "\\WININIT.INI";
        existed_ = FileExists(path_);
        if (existed_) previous_ = ReadFileBytes(path_);
    }
    ~WininitGuard() {
        if (existed_) {
            WriteFileBytes(path_, previous_);
        } else {
            DeleteFileA(path_.c_str());
        }
    }
    WininitGuard(const WininitGuard&) = delete;
    WininitGuard& operator=(const WininitGuard&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool existed_ = false;
    std::string previous_;
};

// The current user's program folder, desktop icon and key of the product,
// which the registration guard (made for the NT family's common folders)
// does not know of; removed at the end when a run left them.
struct UserFolders {
    std::string programs = ShellFolder(CSIDL_PROGRAMS) + "\\" + Cp932FromUtf8(kFolder);
    std::string desktopLink =
        ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\" + Cp932FromUtf8(kFolder) + ".lnk";
    std::string commonPrograms = CommonPrograms() + "\\" + Cp932FromUtf8(kFolder);
    std::string commonDesktopLink = CommonDesktop() + "\\" + Cp932FromUtf8(kFolder) + ".lnk";
    ~UserFolders() {
        DeleteUserTree("Software\\Quorvane\\E2E_Win98");
        DeleteUserTree(kSettings);
        DeleteUserTree(kBackup);
        RemoveTree(programs);
        DeleteFileA(desktopLink.c_str());
        RemoveTree(commonPrograms);
        DeleteFileA(commonDesktopLink.c_str());
    }
};

ProductTraces Traces(const std::string& installDir) {
    ProductTraces traces;
    traces.name = kName;
    traces.mainProgram = "Win98.exe";
    traces.installKey = kInstallKey;
    traces.directories = {installDir};
    return traces;
}

}  // namespace

TEST(Windows9x, InstallAndUninstallTakeTheBranchesOfWindows98) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    WininitGuard wininit;
    ScratchDir package("win98-package");
    ScratchDir target("win98-target");
    std::string exe = BuildProduct(package, Win98Product());
    ASSERT_FALSE(exe.empty());
    ASSERT_FALSE(UninstallEntryExists(kName));
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    UserFolders folders;
    ASSERT_NE(folders.programs, folders.commonPrograms);
    // Another program's deletion, pending when the uninstaller adds its own.
    const std::string pending = "[Rename]\r\nNUL=C:\\OTHER.TMP\r\n";
    ASSERT_TRUE(WriteFileBytes(wininit.path(), pending));
    // The product seems to run; on Windows 98 nobody asks (no message 2005).
    ProductMutex running;
    ASSERT_TRUE(running.held());
    // A settings backup left by an earlier run: the installation copies it
    // over the settings key and deletes it, both times by RegDeleteKeyA on
    // this platform. (Wine's RegDeleteKeyA keeps the NT rule and deletes no
    // key with subkeys, so these keys have none.)
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettings));
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kBackup));
    ASSERT_TRUE(SetUserValue(kSettings, "Replaced", "old"));
    ASSERT_TRUE(SetUserValue(kBackup, "Restored", "saved"));
    WineWindowsVersion wine("win98");
    ASSERT_TRUE(wine.set());

    ASSERT_TRUE(InstallInto(exe, dir, kName));
    for (const char* name : {"install.inf", "install.exe", "Win98.exe", "readme.txt"})
        EXPECT_TRUE(FileExists(dir + "\\" + name)) << name;
    EXPECT_TRUE(UninstallEntryExists(kName));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kInstallKey));
    // The current user's folders, not those of all users.
    EXPECT_TRUE(FileExists(folders.programs + "\\" + Cp932FromUtf8(u8"ソフト表示") + ".lnk"))
        << folders.programs;
    EXPECT_TRUE(FileExists(folders.desktopLink)) << folders.desktopLink;
    EXPECT_FALSE(FileExists(folders.commonPrograms));
    EXPECT_FALSE(FileExists(folders.commonDesktopLink));
    EXPECT_EQ(ReadFileBytes(wininit.path()), pending) << "the installation scheduled something";
    EXPECT_TRUE(UserValueExists(kSettings, "Restored"));
    EXPECT_FALSE(UserValueExists(kSettings, "Replaced"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kBackup));

    // A key of the user's that the script lists for removal.
    HKEY userKey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kUserKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &userKey, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(userKey, "Setting", 0, REG_SZ, reinterpret_cast<const BYTE*>("1"), 2);
    RegCloseKey(userKey);

    Process run = StartUninstaller(kName);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.title, UninstallerTitle(kName));
    EXPECT_EQ(question.text, Text17(kName));
    question.Answer(IDYES);
    Window dialog = WaitUninstallComplete(run, kName);
    ASSERT_TRUE(dialog.found());
    std::string copy = ProcessImage(dialog.pid);
    dialog.Press(1019);
    Window end = run.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    end.Answer(IDOK);
    EXPECT_TRUE(run.WaitAllExit());

    EXPECT_FALSE(FileExists(dir));
    EXPECT_TRUE(FileExists(target.path()));
    EXPECT_FALSE(UninstallEntryExists(kName));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kInstallKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserKey));
    EXPECT_FALSE(FileExists(folders.programs));
    EXPECT_FALSE(FileExists(folders.desktopLink));

    // The copy's deletion is a line of WININIT.INI, in the short form that
    // Windows 98 understands before it knows long names, after the line that
    // was pending; nothing goes through MoveFileExA.
    EXPECT_EQ(copy.rfind(TempPath("Del"), 0), 0u) << copy;
    EXPECT_EQ(restart.NewCopies(), std::vector<std::string>{copy});
    char shortCopy[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(copy.c_str(), shortCopy, MAX_PATH), 0u) << copy;
    EXPECT_EQ(ReadFileBytes(wininit.path()), pending + "NUL=" + shortCopy + "\r\n");
    EXPECT_FALSE(DeletionScheduled(copy));
}
