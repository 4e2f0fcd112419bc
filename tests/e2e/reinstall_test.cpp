// Installing over an installed product: message 52 answered Yes runs the
// installed uninstaller, whose relaunched copy the installer waits for, and
// then the installation goes on; the user's settings come through the
// backup key, and a backup once restored is gone, so it never overwrites
// settings changed later. An uninstaller that cannot be started is message
// 44; a product still installed afterwards is message 12.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/szdd_bytes.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932.
const char kName[] = u8"ソフト表示再導入";
const char kSettings[] = "Software\\Quorvane\\Orbelo_Sample";
const char kBackup[] = "Software\\Quorvane\\Orbelo_Sample_BACKUP";
const char kSettingsParent[] = "Software\\Quorvane";

std::string Text12(const std::string& name) {
    return name + u8"は既にインストールされています。\nインストールを中止します。";
}
std::string Text44(const std::string& name) {
    return name +
           u8"のアンインストーラを起動できませんでした。\n\nプログラムをアンインストールしてか"
           u8"ら、再度インストールを行ってください。\nインストールを中止します。";
}

const char kUninstallSection[] = "\r\n[UnInstall]\r\nHCU0=Software\\Quorvane\\Orbelo_Sample\r\n";

Product ReinstallProduct() {
    Product product;
    product.name = kName;
    product.setup = {u8"InstallPath=e2e\\reinstall-default",
                     "MainProgram=Orbelo.exe",
                     "UnInstallerProgram=install.exe,-u -p \"%s\"",
                     "InstDispProgramMenu=0",
                     "UnInstDispProgramMenu=0",
                     "RegCreateDirectory=Software\\Quorvane\\E2E_Reinstall\\Install"};
    product.sources = "Orbelo.exe=1\r\n";
    // The shipped script deletes the settings key at uninstallation.
    product.sections = kUninstallSection;
    product.files = {{"Orbelo.exe", "the program"}};
    return product;
}

bool UserKeyExists(const char* path) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetValue(const char* path, const std::string& name, DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name.empty() ? nullptr : name.c_str(), 0, type,
                             reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string Bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 8));
    return bytes;
}

// Settings of every size and shape: empty and large values on both sides of
// the 4096-byte buffers, a long name, the default value, nested and empty
// subkeys.
void WriteSettings() {
    std::string path = kSettings;
    SetValue(kSettings, "", REG_SZ, std::string("default\0", 8));
    SetValue(kSettings, "Empty", REG_BINARY, "");
    SetValue(kSettings, "Count", REG_DWORD, std::string("\x2A\0\0\0", 4));
    SetValue(kSettings, "Name", REG_SZ, Cp932FromUtf8(u8"表示ソフト") + '\0');
    SetValue(kSettings, "List", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    for (size_t size : {1, 4095, 4096, 4097, 70000})
        SetValue(kSettings, "Blob" + std::to_string(size), REG_BINARY, Bytes(size));
    SetValue(kSettings, std::string(300, 'N'), REG_SZ, std::string("long name\0", 10));
    SetValue((path + "\\Profiles\\Home").c_str(), "ESSID", REG_SZ, std::string("home-net\0", 9));
    SetValue((path + "\\Profiles\\Home").c_str(), "Key", REG_BINARY, Bytes(64));
    SetValue((path + "\\Profiles").c_str(), "Active", REG_DWORD, std::string("\1\0\0\0", 4));
    HKEY empty;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (path + "\\Empty").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &empty, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(empty);
}

Snapshot Settings() { return RegistryTree(HKEY_CURRENT_USER, kSettings); }

// Deletes the settings and the backup key whatever happens to the test, and
// their parent when the test made it.
struct SettingsCleanup {
    bool parentExisted = UserKeyExists(kSettingsParent);
    ~SettingsCleanup() {
        DeleteUserTree(kSettings);
        DeleteUserTree(kBackup);
        // Only while empty: whatever else is there is not the test's.
        if (!parentExisted) RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsParent);
    }
};

// Replaces the UninstallString of the product's Uninstall entry.
void SetUninstallString(const std::string& command) {
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                             Cp932FromUtf8(kName))
                                .c_str(),
                            0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(command.c_str()),
                             static_cast<DWORD>(command.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// What an installation of the test product into dir may leave registered,
// removed at the end of a scenario.
ProductTraces Traces(const std::string& dir) {
    ProductTraces traces;
    traces.name = kName;
    traces.mainProgram = "Orbelo.exe";
    traces.installKey = "Software\\Quorvane\\E2E_Reinstall\\Install";
    traces.directories = {dir};
    return traces;
}

// Runs the uninstaller from the Uninstall entry, accepts, and waits for its
// end.
void Uninstall() {
    Process run = StartUninstaller(kName);
    EXPECT_EQ(AcceptUninstallation(run, kName), 0);
}

}  // namespace

TEST(Reinstall, RunsTheInstalledUninstallerFirstAndKeepsTheSettings) {
    ASSERT_FALSE(UserKeyExists(kSettings)) << "a settings key was left in the prefix";
    ASSERT_FALSE(UserKeyExists(kBackup)) << "a settings backup was left in the prefix";
    SettingsCleanup cleanup;
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("reinstall-package");
    ScratchDir target("reinstall-target");
    std::string exe = BuildProduct(package, ReinstallProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    WriteSettings();
    Snapshot original = Settings();
    ASSERT_GT(original.size(), 15u);

    Process installer = Driver::Start(exe);
    Window offer = installer.WaitMessageBox();
    ASSERT_TRUE(offer.found());
    EXPECT_EQ(offer.title, InstallerTitle(kName));
    EXPECT_EQ(offer.icon, "question");
    offer.Answer(IDYES);

    // The installed uninstaller is now this installer's own program; it asks
    // first, over no window of the installer, which hides its own.
    Window question = installer.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.title, UninstallerTitle(kName));
    EXPECT_EQ(question.text, Text17(kName));
    EXPECT_NE(question.pid, installer.pid());
    EXPECT_EQ(ReadFileBytes(dir + "\\install.exe"), ReadFileBytes(exe));
    for (const Window& window : installer.Windows()) EXPECT_NE(window.pid, installer.pid());
    // Held by handle: once the first instance is gone, Wine may give its id
    // to another process.
    HANDLE first = OpenProcess(SYNCHRONIZE, FALSE, question.pid);
    EXPECT_NE(first, nullptr);
    question.Answer(IDYES);

    // The relaunched copy works while the installer waits on its mutex.
    Window dialog = WaitUninstallComplete(installer, kName);
    ASSERT_TRUE(dialog.found());
    EXPECT_EQ(ProcessImage(dialog.pid).rfind(TempPath("Del"), 0), 0u);
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Quorvane_UnInstaller");
    EXPECT_NE(mutex, nullptr);
    if (mutex) CloseHandle(mutex);
    EXPECT_TRUE(first && WaitForSingleObject(first, 0) == WAIT_OBJECT_0);
    if (first) CloseHandle(first);
    EXPECT_TRUE(installer.Running());
    // The uninstallation deleted the settings key, as the script says.
    EXPECT_FALSE(UserKeyExists(kSettings));
    dialog.Press(1019);
    Window end = installer.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    end.Answer(IDOK);

    // Then the installation goes on, into the same place.
    Window ask = installer.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    EXPECT_EQ(ask.owner ? Window::Read(ask.owner).pid : installer.pid(), installer.pid());
    EXPECT_FALSE(FileExists(dir));
    ask.SetText(1000, dir);
    ask.Press(IDOK);
    Window installed = installer.WaitMessageBox();
    EXPECT_EQ(installed.text, std::string(kName) + u8"のインストールを終了します。");
    installed.Answer(IDOK);
    EXPECT_EQ(installer.WaitExit(), 0);
    EXPECT_TRUE(installer.WaitAllExit());
    EXPECT_TRUE(UninstallEntryExists(kName));
    EXPECT_EQ(ReadFileBytes(dir + "\\Orbelo.exe"), "the program");

    // The settings came back exactly, and the backup is gone.
    EXPECT_EQ(Differences(original, Settings()), std::vector<std::string>());
    EXPECT_FALSE(UserKeyExists(kBackup));

    // Settings changed afterwards stay as the user left them, through a run
    // of the uninstaller (of a product whose script keeps the settings key)
    // and a run of the installer.
    SetValue(kSettings, "Count", REG_DWORD, std::string("\x2B\0\0\0", 4));
    SetValue(kSettings, "Added", REG_SZ, std::string("later\0", 6));
    Snapshot changed = Settings();
    std::string script = ReadFileBytes(dir + "\\install.inf");
    size_t section = script.find(kUninstallSection);
    ASSERT_NE(section, std::string::npos);
    ASSERT_TRUE(WriteFileBytes(dir + "\\install.inf", script.erase(section)));
    Uninstall();
    EXPECT_FALSE(UninstallEntryExists(kName));
    EXPECT_EQ(Differences(changed, Settings()), std::vector<std::string>());

    Process again = Driver::Start(exe);
    Window cancel = again.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(cancel.found());
    cancel.Press(IDCANCEL);
    Window aborted = again.WaitMessageBox();
    EXPECT_EQ(aborted.text, Text2(kName));
    aborted.Answer(IDOK);
    EXPECT_EQ(again.WaitExit(), kDeclined);
    EXPECT_EQ(Differences(changed, Settings()), std::vector<std::string>());
    EXPECT_FALSE(UserKeyExists(kBackup));
}

// The registered command names the program in quotes; installations made
// by earlier versions hold it unquoted. Installing over either runs the
// installed uninstaller and goes on, also from a directory whose name holds
// " -p" after a blank, which only the quoted form keeps apart from the
// switch.
TEST(Reinstall, BothFormsOfTheRegisteredCommandRunTheInstalledUninstaller) {
    const struct {
        const char* what;
        const char* directory;
        bool unquoted;
    } cases[] = {
        {"quoted, a directory with \" -p\" after a blank", "a -p b\\product", false},
        {"unquoted, as earlier versions registered it", "old form\\product", true},
    };
    SettingsCleanup cleanup;
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("reinstall-forms");
    std::string exe = BuildProduct(package, ReinstallProduct());
    ASSERT_FALSE(exe.empty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ScratchDir target("reinstall-forms-target");
        std::string dir = target.File(c.directory);
        RegistrationGuard registration(Traces(dir));
        ASSERT_TRUE(InstallInto(exe, dir, kName));
        const std::string quoted = "\"" + dir + "\\install.exe\" -u -p \"" + dir + "\"";
        EXPECT_EQ(UninstallString(kName), quoted);
        if (c.unquoted) SetUninstallString(dir + "\\install.exe -u -p \"" + dir + "\"");

        Process installer = Driver::Start(exe);
        Window offer = installer.WaitMessageBox();
        ASSERT_TRUE(offer.found());
        offer.Answer(IDYES);
        Window question = installer.WaitMessageBox();
        ASSERT_TRUE(question.found());
        EXPECT_EQ(question.text, Text17(kName));
        EXPECT_EQ(ProcessImage(question.pid), dir + "\\install.exe");
        question.Answer(IDYES);
        Window dialog = WaitUninstallComplete(installer, kName);
        ASSERT_TRUE(dialog.found());
        dialog.Press(1019);
        Window end = installer.WaitMessageBox();
        EXPECT_EQ(end.text, Text16(kName));
        end.Answer(IDOK);
        Window ask = installer.WaitWindowTitled(kDirCaption);
        ASSERT_TRUE(ask.found());
        EXPECT_FALSE(FileExists(dir));
        ask.SetText(1000, dir);
        ask.Press(IDOK);
        Window installed = installer.WaitMessageBox();
        EXPECT_EQ(installed.text, std::string(kName) + u8"のインストールを終了します。");
        installed.Answer(IDOK);
        EXPECT_EQ(installer.WaitExit(), 0);
        EXPECT_TRUE(installer.WaitAllExit());
        EXPECT_EQ(UninstallString(kName), quoted);

        Uninstall();
        EXPECT_FALSE(UninstallEntryExists(kName));
        EXPECT_FALSE(FileExists(dir));
    }
}

// Message 44: no command registered, one too long for its buffer, one whose
// program path cuts down to a drive, or a quote that never closes. Nothing
// is copied anywhere.
TEST(Reinstall, AnUninstallerThatCannotBeStartedIsMessage44) {
    ASSERT_FALSE(UserKeyExists(kBackup)) << "a settings backup was left in the prefix";
    SettingsCleanup cleanup;
    SetValue(kSettings, "Name", REG_SZ, std::string("mine\0", 5));
    Snapshot settings = Settings();
    ScratchDir package("reinstall-44");
    std::string exe = BuildInstaller(package, {{"install.inf", SetupScript(kName)}});
    ASSERT_FALSE(exe.empty());
    const std::string commands[] = {
        "",
        "C:\\e2e\\reinstall-44\\" + std::string(240, 'x') + "\\install.exe -u -p \"C:\\x\"",
        "C:\\e2e\\nodot\\prog -u -p \"C:\\e2e\\nodot\"",
        "\"C:\\e2e\\nodot\\install.exe -u",
    };
    for (const std::string& command : commands) {
        SCOPED_TRACE(command);
        UninstallEntry entry(kName);
        if (!command.empty()) {
            HKEY key;
            ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                                    ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                     Cp932FromUtf8(kName))
                                        .c_str(),
                                    0, KEY_SET_VALUE, &key),
                      ERROR_SUCCESS);
            RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(command.c_str()),
                           static_cast<DWORD>(command.size() + 1));
            RegCloseKey(key);
        }
        std::set<std::string> before = ExtractionDirs();
        Process run = Driver::Start(exe);
        Window offer = run.WaitMessageBox();
        ASSERT_TRUE(offer.found());
        offer.Answer(IDYES);
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found());
        EXPECT_EQ(box.title, InstallerTitle(kName));
        EXPECT_EQ(box.text, Text44(kName));
        EXPECT_EQ(box.icon, "stop");
        box.Answer(IDOK);
        EXPECT_EQ(run.WaitExit(), kFailed);
        EXPECT_TRUE(run.WaitAllExit());
        EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
        EXPECT_FALSE(FileExists("C:\\install.inf"));
        EXPECT_FALSE(FileExists("C:\\e2e\\nodot"));
        // Nothing ran: the settings are as they were and no backup is left
        // to be copied over them by a later run.
        EXPECT_FALSE(UserKeyExists(kBackup));
        EXPECT_EQ(Differences(settings, Settings()), std::vector<std::string>());
    }
}

// An uninstaller that ends with the product still installed (here: the user
// declines it) is message 12. Where the installed script is gone, the one of
// the package is provided, and the installed program is this installer.
TEST(Reinstall, AProductStillInstalledAfterwardsIsMessage12) {
    ASSERT_FALSE(UserKeyExists(kBackup)) << "a settings backup was left in the prefix";
    SettingsCleanup cleanup;
    SetValue(kSettings, "Name", REG_SZ, std::string("mine\0", 5));
    Snapshot settings = Settings();
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("reinstall-12");
    ScratchDir old("reinstall-12-old");
    std::string exe = BuildInstaller(package, {{"install.inf", SetupScript(kName)}});
    ASSERT_FALSE(exe.empty());
    UninstallEntry entry(kName);
    std::string program = old.File("old.exe");
    std::string command = program + " -u -p \"" + old.path() + "\"";
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                            ("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                             Cp932FromUtf8(kName))
                                .c_str(),
                            0, KEY_SET_VALUE, &key),
              ERROR_SUCCESS);
    RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);

    Process run = Driver::Start(exe);
    Window offer = run.WaitMessageBox();
    ASSERT_TRUE(offer.found());
    offer.Answer(IDYES);
    Window question = run.WaitMessageBox();
    ASSERT_TRUE(question.found());
    EXPECT_EQ(question.text, Text17(kName));
    EXPECT_EQ(ProcessImage(question.pid), program);
    EXPECT_EQ(ReadFileBytes(program), ReadFileBytes(exe));
    EXPECT_EQ(ReadFileBytes(old.File("install.inf")), SetupScript(kName));
    question.Answer(IDNO);
    Window declined = run.WaitMessageBox();
    EXPECT_EQ(declined.text, Text16(kName));
    declined.Answer(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.title, InstallerTitle(kName));
    EXPECT_EQ(box.text, Text12(kName));
    EXPECT_EQ(box.icon, "stop");
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_TRUE(restart.NewCopies().empty());
    // The settings are back as they were, and the backup is gone.
    EXPECT_FALSE(UserKeyExists(kBackup));
    EXPECT_EQ(Differences(settings, Settings()), std::vector<std::string>());
}

namespace {

std::string SystemFilePath(const std::string& name) {
    char system[MAX_PATH] = "";
    GetSystemDirectoryA(system, sizeof system);
    return std::string(system) + "\\" + name;
}

// Runs the installer of a product that is installed, lets it run the
// installed uninstaller, and installs into dir; returns the texts of the
// message boxes that follow the destination dialog.
std::vector<std::string> Reinstall(const std::string& exe, const std::string& dir,
                                   long* exitCode) {
    std::vector<std::string> texts;
    Process installer = Driver::Start(exe);
    Window offer = installer.WaitMessageBox();
    if (!offer.found()) return texts;
    offer.Answer(IDYES);
    Window question = installer.WaitMessageBox();
    if (!question.found()) return texts;
    EXPECT_EQ(question.text, Text17(kName));
    question.Answer(IDYES);
    Window dialog = WaitUninstallComplete(installer, kName);
    if (!dialog.found()) return texts;
    dialog.Press(1019);
    Window end = installer.WaitMessageBox();
    EXPECT_EQ(end.text, Text16(kName));
    end.Answer(IDOK);
    Window ask = installer.WaitWindowTitled(kDirCaption);
    if (!ask.found()) return texts;
    ask.SetText(1000, dir);
    ask.Press(IDOK);
    for (;;) {
        std::vector<Window> boxes;
        for (const Window& window : installer.WatchUntilExit(3000))
            if (window.IsMessageBox()) boxes.push_back(window);
        if (boxes.empty()) break;
        for (const Window& box : boxes) {
            texts.push_back(box.text);
            box.Answer(IDOK);
        }
    }
    *exitCode = installer.WaitExit();
    EXPECT_TRUE(installer.WaitAllExit());
    return texts;
}

}  // namespace

// A product with a system file (code "7") installed over itself: the
// uninstaller that runs first leaves the file for deletion at the next
// restart; the new installation takes its place instead of refusing it, and
// after the restart (which the prefix's boot performs) the new version is
// there.
TEST(Reinstall, AProductWithASystemFileEndsWithItsNewVersionInPlace) {
    SettingsCleanup cleanup;
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    const std::string systemName = "e2e_reinstall_sys.dll";
    const std::string systemFile = SystemFilePath(systemName);
    ASSERT_FALSE(FileExists(systemFile));
    struct SystemFileCleanup {
        std::string path;
        ~SystemFileCleanup() { DeleteFileA(path.c_str()); }
    } systemCleanup{systemFile};
    ScratchDir first("reinstall-sys-1");
    ScratchDir second("reinstall-sys-2");
    ScratchDir target("reinstall-sys-target");
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    auto version = [&](const ScratchDir& package, const std::string& text) {
        Product product = ReinstallProduct();
        product.sections.clear();
        product.sources += systemName + "=7\r\n";
        product.files.push_back({"e2e_reinstall_sys.dl_", szdd_bytes::LiteralSzdd(text)});
        return BuildProduct(package, product);
    };
    std::string one = version(first, "version 1");
    std::string two = version(second, "version 2");
    ASSERT_FALSE(one.empty() || two.empty());
    ASSERT_TRUE(InstallInto(one, dir, kName));
    EXPECT_EQ(ReadFileBytes(systemFile), "version 1");

    long exitCode = -1;
    std::vector<std::string> texts = Reinstall(two, dir, &exitCode);
    EXPECT_EQ(texts, std::vector<std::string>{Text8(kName)});
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(ReadFileBytes(systemFile), "version 2");
    EXPECT_FALSE(DeletionScheduled(systemFile));

    // The restart: the prefix's boot performs what is recorded for it, as
    // the file recorded here shows.
    std::string marker = target.File("deleted-at-restart.txt");
    ASSERT_TRUE(WriteFileBytes(marker, "x"));
    ASSERT_TRUE(MoveFileExA(marker.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
    Process boot = Driver::Start(SystemFilePath("wineboot.exe"));
    EXPECT_EQ(boot.WaitExit(60000), 0);
    boot.WaitAllExit(60000);
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(ReadFileBytes(systemFile), "version 2");
    EXPECT_TRUE(UninstallEntryExists(kName));
}

// The installed script describes what was installed: the uninstaller that
// the new installer runs first works from it, not from the new package's
// script, which lists other files. So a file that only the old version
// listed goes too.
TEST(Reinstall, TheUninstallerWorksFromTheInstalledScriptNotTheNewOne) {
    SettingsCleanup cleanup;
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir first("reinstall-script-1");
    ScratchDir second("reinstall-script-2");
    ScratchDir target("reinstall-script-target");
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));
    Product old = ReinstallProduct();
    old.sections.clear();
    old.sources += "old.dat=1\r\n";
    old.files.push_back({"old.dat", "only the old version has it"});
    Product current = ReinstallProduct();
    current.sections.clear();
    std::string oldExe = BuildProduct(first, old);
    std::string newExe = BuildProduct(second, current);
    ASSERT_FALSE(oldExe.empty() || newExe.empty());
    ASSERT_TRUE(InstallInto(oldExe, dir, kName));
    ASSERT_TRUE(FileExists(dir + "\\old.dat"));
    ASSERT_NE(ReadFileBytes(dir + "\\install.inf"), current.Script());

    long exitCode = -1;
    EXPECT_EQ(Reinstall(newExe, dir, &exitCode), std::vector<std::string>{Text8(kName)});
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(FileExists(dir + "\\old.dat"));
    EXPECT_EQ(ReadFileBytes(dir + "\\install.inf"), current.Script());
}

// A backup that cannot be restored whole stays for a later run to try again
// (here a subkey whose name code page 932 cannot spell, beyond the reach of
// the program's ANSI registry calls); what could be copied is back.
TEST(Reinstall, APartlyRestoredBackupIsKept) {
    ASSERT_FALSE(UserKeyExists(kBackup)) << "a settings backup was left in the prefix";
    SettingsCleanup cleanup;
    SetValue(kBackup, "Name", REG_SZ, std::string("mine\0", 5));
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Quorvane\\Orbelo_Sample_BACKUP\\caf\u00e9",
                              0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    ScratchDir package("reinstall-partial-backup");
    std::string exe = BuildInstaller(package, {{"install.inf", SetupScript(kName)}});
    ASSERT_FALSE(exe.empty());

    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.Press(IDCANCEL);
    Window aborted = run.WaitMessageBox();
    EXPECT_EQ(aborted.text, Text2(kName));
    aborted.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kDeclined);
    EXPECT_TRUE(UserKeyExists(kBackup));
    char name[16] = "";
    DWORD size = sizeof name;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, kSettings, "Name", RRF_RT_REG_SZ, nullptr, name, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "mine");
}
