// The uninstallation as a user meets it: started from the Uninstall entry's
// command line, confirmed or declined, relaunched from a temporary copy that
// shows the four-phase dialog and schedules its own deletion, and what it
// leaves: nothing of the installation, except what was not its own.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/frozen_process.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932.
const char kName[] = u8"ソフト表示消去";

// A product with a program folder, a desktop icon, a subdirectory and the
// uninstaller entry in its group, as the sample has them.
Product TestProduct(const std::vector<std::string>& extraSetup = {}) {
    Product product;
    product.name = kName;
    product.setup = {u8"InstallPath=e2e\\uninstall-default",
                     "MainProgram=Orbelo.exe",
                     "UnInstallerProgram=install.exe,-u -p \"%s\"",
                     u8"ProgramFolder_Group=ソフト表示 e2e",
                     u8"IconOnDesktop0=Orbelo.exe,ソフト表示 e2e",
                     "InstDispProgramMenu=0",
                     "UnInstDispProgramMenu=0",
                     "RegCreateDirectory=Software\\Quorvane\\E2E_Uninstall\\Install"};
    for (const std::string& line : extraSetup) product.setup.push_back(line);
    product.sources = "Orbelo.exe=1\r\nreadme.txt=1\r\ndata\\table.dat=9,table.dat\r\n";
    product.sections =
        u8"\r\n[Group]\r\nソフト表示=Orbelo.exe\r\n"
        u8"ソフト表示の削除=install.exe,-u -p \"%s\"\r\n";
    product.files = {
        {"Orbelo.exe", "the program"}, {"readme.txt", "read me\r\n"}, {"table.dat", "table"}};
    return product;
}

// What a failing scenario may leave registered, removed at its end.
ProductTraces Traces(const std::string& installDir) {
    ProductTraces traces;
    traces.name = kName;
    traces.mainProgram = "Orbelo.exe";
    traces.programFolders = {u8"ソフト表示 e2e"};
    traces.desktopIcons = {u8"ソフト表示 e2e"};
    traces.installKey = "Software\\Quorvane\\E2E_Uninstall\\Install";
    traces.directories = {installDir};
    return traces;
}

const char* const kInstalledFiles[] = {"install.inf", "install.exe", "Orbelo.exe", "readme.txt",
                                       "data\\table.dat"};

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    return path;
}
std::string ProgramFolder() {
    return ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\" + Cp932FromUtf8(u8"ソフト表示 e2e");
}
std::string DesktopLink() {
    return ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\" + Cp932FromUtf8(u8"ソフト表示 e2e") +
           ".lnk";
}
const char kInstallKey[] = "Software\\Quorvane\\E2E_Uninstall\\Install";
const char kAppPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Orbelo.exe";

bool KeyExists(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void ExpectInstalled(const std::string& dir) {
    for (const char* name : kInstalledFiles) EXPECT_TRUE(FileExists(dir + "\\" + name)) << name;
    EXPECT_TRUE(UninstallEntryExists(kName));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath));
    EXPECT_TRUE(FileExists(ProgramFolder()));
    EXPECT_TRUE(FileExists(DesktopLink()));
}

// Everything that the installation made is gone, registry included.
void ExpectRegistrationGone() {
    EXPECT_FALSE(UninstallEntryExists(kName));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kAppPath));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kInstallKey));
    EXPECT_FALSE(FileExists(ProgramFolder()));
    EXPECT_FALSE(FileExists(DesktopLink()));
}

// From message 17 answered Yes (or no question) to the end of the copy:
// the dialog run by the "Del" copy, "完了", message 16. Returns the copy's
// path.
std::string ConfirmAndFinish(Process& run, bool asked, const char* screen = nullptr) {
    if (asked) {
        Window question = run.WaitMessageBox();
        if (!question.found()) return "";
        EXPECT_EQ(question.title, UninstallerTitle(kName));
        EXPECT_EQ(question.text, Text17(kName));
        EXPECT_EQ(question.icon, "question");
        question.Answer(IDYES);
    }
    Window dialog = WaitUninstallComplete(run, kName);
    if (!dialog.found()) return "";
    std::string copy = ProcessImage(dialog.pid);
    HeldProcess copyRun(dialog.pid);
    if (screen) KeepScreen(screen);
    dialog.Press(1019);
    EXPECT_TRUE(dialog.WaitGone());
    Window end = run.WaitMessageBox();
    EXPECT_EQ(end.title, UninstallerTitle(kName));
    EXPECT_EQ(end.text, Text16(kName));
    EXPECT_EQ(end.icon, "information");
    end.Answer(IDOK);
    EXPECT_TRUE(run.WaitAllExit());
    // Both did their part: the first instance started the copy, the copy
    // removed everything.
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_EQ(copyRun.WaitExit(), 0);
    return copy;
}

}  // namespace

// Message 17 declined: message 16 and nothing removed. Then accepted: the
// copy in the temporary directory removes the files, both directory levels
// the installation created (not the one above), the registry entries, the
// program folder and the desktop icon, and schedules its own deletion.
TEST(Uninstall, DeclinedRemovesNothingAndAcceptedRemovesEverythingItsOwn) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-package");
    ScratchDir target("uninstall-target");
    std::string exe = BuildProduct(package, TestProduct());
    ASSERT_FALSE(exe.empty());
    ASSERT_FALSE(UninstallEntryExists(kName));
    std::string dir = target.path() + u8"\\新規 表示\\製品";
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    std::string installed = Cp932FromUtf8(dir);
    ExpectInstalled(installed);

    Process declined = StartUninstaller(kName);
    Window question = declined.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.text, Text17(kName));
    EXPECT_EQ(question.ButtonIds(), (std::vector<int>{IDYES, IDNO}));
    question.Answer(IDNO);
    Window end = declined.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    EXPECT_EQ(end.icon, "exclamation");
    end.Answer(IDOK);
    EXPECT_EQ(declined.WaitExit(), kDeclined);
    EXPECT_TRUE(declined.WaitAllExit());
    ExpectInstalled(installed);
    EXPECT_TRUE(restart.NewCopies().empty());

    Process accepted = StartUninstaller(kName);
    std::string copy = ConfirmAndFinish(accepted, true);
    EXPECT_EQ(copy.rfind(TempPath("Del"), 0), 0u) << copy;
    EXPECT_EQ(restart.NewCopies(), std::vector<std::string>{copy});
    EXPECT_TRUE(DeletionScheduled(copy)) << copy;
    EXPECT_FALSE(FileExists(installed));
    EXPECT_FALSE(FileExists(target.path() + Cp932FromUtf8(u8"\\新規 表示")));
    EXPECT_TRUE(FileExists(target.path()));
    ExpectRegistrationGone();
}

// UnInstSilentMode 1 only leaves the question out: the relaunched copy still
// shows its dialog and message 16. An installation into a directory that
// already existed never removes it.
TEST(Uninstall, SilentModeOfTheScriptSkipsOnlyTheQuestion) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-silent-package");
    ScratchDir target("uninstall-silent-target");
    std::string exe = BuildProduct(package, TestProduct({"UnInstSilentMode=1"}));
    ASSERT_FALSE(exe.empty());
    std::string existing = target.File("existing");
    RegistrationGuard registration(Traces(existing));
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), nullptr));
    ASSERT_TRUE(InstallInto(exe, existing, kName));

    Process run = StartUninstaller(kName);
    std::string copy = ConfirmAndFinish(run, false);
    EXPECT_TRUE(DeletionScheduled(copy)) << copy;
    for (const char* name : kInstalledFiles)
        EXPECT_FALSE(FileExists(existing + "\\" + name)) << name;
    EXPECT_FALSE(FileExists(existing + "\\data"));
    EXPECT_TRUE(FileExists(existing));
    ExpectRegistrationGone();
}

// The question is asked where the script does not waive it, whatever the
// command line says: a "-s" is overridden when UnInstSilentMode is 0, and a
// program named like an uninstaller ("Uninst.EXE") always asks, whatever
// UnInstSilentMode says, working on the script of its own folder instead of
// the "-p" directory. Declined, nothing is removed.
TEST(Uninstall, TheQuestionIsAskedDespiteSilentSwitchesAndForAnUninstName) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-ask-package");
    ScratchDir target("uninstall-ask-target");
    ScratchDir elsewhere("uninstall-ask-elsewhere");
    std::string exe = BuildProduct(package, TestProduct({"UnInstSilentMode=0"}));
    ASSERT_FALSE(exe.empty());
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    std::string script = ReadFileBytes(dir + "\\install.inf");
    size_t mode = script.find("UnInstSilentMode=0");
    ASSERT_NE(mode, std::string::npos);
    std::string waived = script;
    waived[mode + 17] = '1';
    std::string uninst = dir + "\\Uninst.EXE";
    ASSERT_TRUE(CopyFileA((dir + "\\install.exe").c_str(), uninst.c_str(), FALSE));

    struct Case {
        const char* what;
        std::string program, args, script;
    } cases[] = {
        {"-s with UnInstSilentMode 0", dir + "\\install.exe",
         "-u -s -p \"" + dir + "\"", script},
        {"an uninst name with UnInstSilentMode 1", uninst,
         "-p \"" + elsewhere.path() + "\"", waived},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(WriteFileBytes(dir + "\\install.inf", c.script));
        Process run = Driver::Start(c.program, c.args);
        Window question = run.WaitMessageBox();
        ASSERT_TRUE(question.found());
        EXPECT_EQ(question.title, UninstallerTitle(kName));
        EXPECT_EQ(question.text, Text17(kName));
        question.Answer(IDNO);
        Window end = run.WaitMessageBox();
        EXPECT_EQ(end.text, Text16(kName));
        end.Answer(IDOK);
        EXPECT_EQ(run.WaitExit(), kDeclined);
        EXPECT_TRUE(run.WaitAllExit());
        ExpectInstalled(Cp932FromUtf8(dir));
    }
    EXPECT_TRUE(restart.NewCopies().empty());
    DeleteFileA(uninst.c_str());
}

// The shell's window on the program folder opens only where the script asks
// for it and the run is not silent: not for a silent installation, but for
// the uninstallation's relaunched copy, which shows its dialog.
TEST(Uninstall, TheProgramFolderWindowOpensWhereAskedButNeverSilently) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-folder-package");
    Product product = TestProduct();
    for (std::string& line : product.setup) {
        if (line == "InstDispProgramMenu=0") line = "InstDispProgramMenu=1";
        if (line == "UnInstDispProgramMenu=0") line = "UnInstDispProgramMenu=1";
    }
    std::string exe = BuildProduct(package, product);
    ASSERT_FALSE(exe.empty());
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string dir = std::string(windows, 3) + "e2e\\uninstall-default";
    RegistrationGuard registration(Traces(dir));

    Process install = Driver::Start(exe, "-s");
    for (const Window& window : install.WatchUntilExit(10000))
        EXPECT_NE(window.title, u8"ソフト表示 e2e") << window.Describe();
    EXPECT_EQ(install.WaitExit(), 0);
    EXPECT_TRUE(install.WaitAllExit());
    ExpectInstalled(dir);

    Process run = StartUninstaller(kName);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    question.Answer(IDYES);
    Window folder = run.WaitWindowTitled(u8"ソフト表示 e2e");
    EXPECT_TRUE(folder.found());
    if (folder.found()) {
        folder.Close();
        folder.WaitGone();
    }
    Window dialog = WaitUninstallComplete(run, kName);
    ASSERT_TRUE(dialog.found());
    dialog.Press(1019);
    Window end = run.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    end.Answer(IDOK);
    EXPECT_TRUE(run.WaitAllExit());
    ExpectRegistrationGone();
}

// A listed file that cannot be deleted shows message 9 while the dialog is
// at work, and the rest still goes; a file the user left keeps the
// installation directory and its parents.
TEST(Uninstall, FilesThatStayKeepTheirDirectories) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-stay-package");
    ScratchDir target("uninstall-stay-target");
    std::string exe = BuildProduct(package, TestProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = target.File("level\\product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    ASSERT_TRUE(WriteFileBytes(dir + "\\notes.txt", "the user's own"));
    // Held open without delete sharing, as by a program still running.
    HANDLE held = CreateFileA((dir + "\\readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);

    Process run = StartUninstaller(kName);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    question.Answer(IDYES);
    Window box = run.WaitWindow(MessageBoxes(), "message 9");
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.title, UninstallerTitle(kName));
    EXPECT_EQ(box.text, Text9("readme.txt"));
    EXPECT_EQ(box.icon, "exclamation");
    // The dialog meanwhile, half-way: two phases done, "完了" disabled.
    Window dialog = WaitUninstallDialog(run);
    ASSERT_TRUE(dialog.found());
    EXPECT_EQ(dialog.ControlText(1017), Text18(kName));
    EXPECT_TRUE(IsChecked(dialog, 1013));
    EXPECT_TRUE(IsChecked(dialog, 1014));
    EXPECT_FALSE(IsChecked(dialog, 1015));
    EXPECT_FALSE(dialog.Find(1019)->enabled);
    KeepScreen("uninstall-in-progress");
    box.Answer(IDOK);

    Window done = WaitUninstallComplete(run, kName, dialog);
    HeldProcess copy(done.pid);
    KeepScreen("uninstall-complete");
    done.Press(1019);
    Window end = run.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    end.Answer(IDOK);
    EXPECT_TRUE(run.WaitAllExit());
    // A file that stayed: the uninstallation did not do its whole job.
    EXPECT_EQ(copy.WaitExit(), kFailed);
    EXPECT_EQ(run.WaitExit(), 0);
    CloseHandle(held);

    for (const char* name : {"install.inf", "install.exe", "Orbelo.exe", "data\\table.dat"})
        EXPECT_FALSE(FileExists(dir + "\\" + name)) << name;
    EXPECT_FALSE(FileExists(dir + "\\data"));
    EXPECT_EQ(ReadFileBytes(dir + "\\notes.txt"), "the user's own");
    EXPECT_TRUE(FileExists(dir + "\\readme.txt"));
    EXPECT_TRUE(FileExists(target.File("level")));
    ExpectRegistrationGone();
}

// [Source] names that reach outside the installation directory (a climb, an
// absolute path, a wildcard that climbs) are never acted on: the
// installation writes nothing through them, the uninstallation deletes
// nothing through them. A subdirectory name and a wildcard inside the
// directory keep working.
TEST(Uninstall, SourceNamesOutsideTheInstallationDirectoryAreNeverActedOn) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-outside-package");
    ScratchDir target("uninstall-outside-target");
    std::string dir = target.File("product");
    const std::string victims[] = {target.File("victim.txt"), target.File("absolute.txt"),
                                   target.File("other.keep")};
    Product product = TestProduct();
    product.sources +=
        "..\\victim.txt=9,Orbelo.exe\r\n" + victims[1] + "=N\r\n..\\*.keep=N\r\ndata\\*.tmp=N\r\n";
    std::string exe = BuildProduct(package, product);
    ASSERT_FALSE(exe.empty());
    for (const std::string& victim : victims) ASSERT_TRUE(WriteFileBytes(victim, "not its own"));
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    ExpectInstalled(dir);
    for (const std::string& victim : victims) EXPECT_EQ(ReadFileBytes(victim), "not its own");
    ASSERT_TRUE(WriteFileBytes(dir + "\\data\\left.tmp", "made by the program"));

    Process run = StartUninstaller(kName);
    ConfirmAndFinish(run, true);
    for (const std::string& victim : victims) EXPECT_EQ(ReadFileBytes(victim), "not its own");
    EXPECT_FALSE(FileExists(dir));
    ExpectRegistrationGone();
}

// The dialog belongs to the copy's background window, so activating that
// full-screen window cannot bury the dialog and its "完了" (an owned window
// stays in front of its owner). Closing the
// background window instead of pressing "完了" ends the run with the work
// done; the temporary copy still goes at the next restart.
TEST(Uninstall, TheDialogStaysInFrontAndClosingTheBackgroundStillRemovesTheCopy) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-owner-package");
    ScratchDir target("uninstall-owner-target");
    std::string exe = BuildProduct(package, TestProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));

    Process run = StartUninstaller(kName);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    question.Answer(IDYES);
    Window dialog = WaitUninstallComplete(run, kName);
    ASSERT_TRUE(dialog.found());
    Window background;
    for (const Window& window : run.Windows()) {
        if (window.pid == dialog.pid && window.hwnd != dialog.hwnd &&
            window.title == UninstallerTitle(kName)) {
            background = window;
        }
    }
    ASSERT_TRUE(background.found());
    EXPECT_EQ(dialog.owner, background.hwnd);

    std::string copy = ProcessImage(dialog.pid);
    HeldProcess copyRun(dialog.pid);
    background.Close();
    for (const Window& window : run.WatchUntilExit(3000))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(copyRun.WaitExit(), 0);
    EXPECT_EQ(restart.NewCopies(), std::vector<std::string>{copy});
    EXPECT_TRUE(DeletionScheduled(copy)) << copy;
    EXPECT_FALSE(FileExists(dir));
    ExpectRegistrationGone();
}

// A copy slow to start, here held still from the moment it appears, keeps
// the first instance running until the copy holds the mutex: an installer
// waiting for the first instance must find the mutex taken, or it goes on
// while the uninstallation is still to come.
TEST(Uninstall, FirstInstanceEndsOnlyOnceTheCopyHoldsTheMutex) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("uninstall-slow-package");
    ScratchDir target("uninstall-slow-target");
    std::string exe = BuildProduct(package, TestProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));

    Process run = StartUninstaller(kName);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    question.Press(IDYES);
    std::unique_ptr<FrozenProcess> copy;
    for (DWORD start = GetTickCount(); !copy && GetTickCount() - start < kWindowTimeout;) {
        for (DWORD pid : run.Family()) {
            if (pid == run.pid()) continue;
            copy.reset(new FrozenProcess(pid));
            break;
        }
        Sleep(1);
    }
    ASSERT_TRUE(copy && copy->frozen()) << "no copy appeared";
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Quorvane_UnInstaller");
    if (mutex) CloseHandle(mutex);
    ASSERT_EQ(mutex, nullptr) << "the copy was stopped too late to prove anything";
    // Well past the second that the first instance pauses after the start.
    Sleep(3000);
    EXPECT_TRUE(run.Running()) << "the first instance ended before the copy held the mutex";
    copy.reset();

    // Let go, the copy takes the mutex before the first instance ends.
    EXPECT_EQ(run.WaitExit(), 0);
    mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Quorvane_UnInstaller");
    EXPECT_NE(mutex, nullptr);
    if (mutex) CloseHandle(mutex);
    std::string image = ConfirmAndFinish(run, false);
    EXPECT_TRUE(DeletionScheduled(image)) << image;
    EXPECT_FALSE(FileExists(dir));
    ExpectRegistrationGone();
}

namespace {

const char kSample[] = u8"オルベロ";
const char kSampleDir[] = "C:\\Program Files\\Quorvane\\Orbelo_Sample";

struct PrefixState {
    Snapshot machine, user, session, files;
};

// The parts of the prefix that an installation could touch. The records of
// deletion at restart and the uninstaller's temporary copies are left out:
// the product keeps them on purpose until the next restart.
PrefixState TakePrefixState(const std::vector<std::string>& copies) {
    PrefixState state;
    state.machine = RegistryTree(HKEY_LOCAL_MACHINE, "SOFTWARE");
    state.user = RegistryTree(HKEY_CURRENT_USER, "Software");
    state.session =
        RegistryTree(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager");
    state.session.erase(
        "HKLM\\System\\CurrentControlSet\\Control\\Session Manager\\:PendingFileRenameOperations");
    state.files = FileTree("C:");
    for (const std::string& copy : copies) state.files.erase(copy);
    return state;
}

}  // namespace

// The sample package installed and uninstalled again leaves the prefix's
// files and registry as they were.
TEST(Uninstall, SampleRoundTripLeavesThePrefixAsItWas) {
    std::string installer = ZPath(std::string(INSTALLER_BUILD_DIR) + "/../sample-x64/install.exe");
    ASSERT_TRUE(FileExists(installer)) << installer << " is built by tools/build_sample.sh";
    ASSERT_FALSE(UninstallEntryExists(kSample)) << "the sample is installed in the prefix";
    WineMenuBuilderOff menus;
    RegistrationGuard registration(SampleProductTraces());
    RestartRecordGuard restart;
    DWORD start = GetTickCount();
    PrefixState before = TakePrefixState({});
    Log("prefix state taken in " + std::to_string(GetTickCount() - start) +
        " ms: " + std::to_string(before.machine.size() + before.user.size() + before.files.size()) +
        " entries");

    Process install = Driver::Start(installer);
    Window licence = install.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    licence.Answer(IDOK);
    Window ask = install.WaitWindowTitled(u8"インストール先のディレクトリ入力");
    ASSERT_TRUE(ask.found());
    EXPECT_EQ(ask.ControlText(1000), kSampleDir);
    ask.Press(IDOK);
    Window installed = install.WaitMessageBox();
    EXPECT_EQ(installed.text, std::string(kSample) + u8"のインストールを終了します。");
    installed.Answer(IDOK);
    EXPECT_EQ(install.WaitExit(), 0);
    ASSERT_TRUE(install.WaitAllExit());
    ASSERT_TRUE(UninstallEntryExists(kSample));

    Process uninstall = StartUninstaller(kSample);
    Window question = uninstall.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.text, Text17(kSample));
    question.Answer(IDYES);
    Window dialog = WaitUninstallComplete(uninstall, kSample);
    ASSERT_TRUE(dialog.found());
    std::string copy = ProcessImage(dialog.pid);
    dialog.Press(1019);
    Window end = uninstall.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kSample));
    end.Answer(IDOK);
    EXPECT_TRUE(uninstall.WaitAllExit());
    EXPECT_TRUE(DeletionScheduled(copy)) << copy;
    EXPECT_EQ(restart.NewCopies(), std::vector<std::string>{copy});

    PrefixState after = TakePrefixState(restart.NewCopies());
    EXPECT_EQ(Differences(before.machine, after.machine), std::vector<std::string>());
    EXPECT_EQ(Differences(before.user, after.user), std::vector<std::string>());
    EXPECT_EQ(Differences(before.session, after.session), std::vector<std::string>());
    EXPECT_EQ(Differences(before.files, after.files), std::vector<std::string>());
}

// An installation directory and a temporary directory too long for the
// copy's command line together: the first instance refuses with message 15
// instead of starting the copy on a cut directory, and leaves no copy.
TEST(Uninstall, ARelaunchLineThatWouldNotFitIsMessage15) {
    ScratchDir scratch("uninstall-long");
    // Directories of exactly the length wanted, made level by level.
    auto longDirectory = [](std::string path, size_t length) {
        CreateDirectoryA(path.c_str(), nullptr);
        while (path.size() < length) {
            size_t level = std::min<size_t>(100, length - path.size() - 1);
            path += "\\" + std::string(level, 'd');
            CreateDirectoryA(path.c_str(), nullptr);
        }
        return path;
    };
    // The longest directory whose install.inf still fits a 260-byte path, and
    // a temporary directory that leaves GetTempFileNameA just enough room.
    std::string installDir = longDirectory(scratch.File("i"), 246);
    std::string tempDir = longDirectory(scratch.File("t"), 244);
    ASSERT_TRUE(FileExists(installDir) && FileExists(tempDir));
    ASSERT_TRUE(WriteFileBytes(installDir + "\\install.inf", SetupScript(kName)));
    UninstallEntry entry(kName);

    char previousTmp[MAX_PATH] = "", previousTemp[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", previousTmp, sizeof previousTmp);
    GetEnvironmentVariableA("TEMP", previousTemp, sizeof previousTemp);
    SetEnvironmentVariableA("TMP", tempDir.c_str());
    SetEnvironmentVariableA("TEMP", tempDir.c_str());
    Process run = Driver::Start(StubPath(), "-u -p \"" + installDir + "\"");
    SetEnvironmentVariableA("TMP", previousTmp[0] ? previousTmp : nullptr);
    SetEnvironmentVariableA("TEMP", previousTemp[0] ? previousTemp : nullptr);

    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.text, Text17(kName));
    question.Answer(IDYES);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.title, UninstallerTitle(kName));
    EXPECT_EQ(box.text,
              u8"アンインストール情報ファイルの読み込みができません。\n"
              u8"アンインストールを中止します。");
    EXPECT_EQ(box.icon, "stop");
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_TRUE(run.WaitAllExit());
    WIN32_FIND_DATAA found;
    HANDLE copies = FindFirstFileA((tempDir + "\\Del*.tmp").c_str(), &found);
    EXPECT_EQ(copies, INVALID_HANDLE_VALUE) << found.cFileName;
    if (copies != INVALID_HANDLE_VALUE) FindClose(copies);
    EXPECT_TRUE(FileExists(installDir + "\\install.inf"));
}
