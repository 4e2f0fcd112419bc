// What an elevated installer finds in folders that any user can write, tried
// as an attacker would: libraries planted under system names beside the
// installer and in the temporary folder, a loose setup script beside a
// reinstalling installer, a temporary folder whose path reads like a switch.
// None of them may change what the installer or the uninstaller does.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

// "表" ends in the byte 0x5C in code page 932.
const char kName[] = u8"表示植込";
const char kInstallKey[] = "Software\\Quorvane\\E2E_Untrusted\\Install";
const char kRecords[] = "C:\\e2e\\planted";

// Libraries that the program, or the system libraries it uses, load by name
// on demand: the rich edit engine that riched32.dll imports, and what the
// folder browser, common controls, COM and themes bring in. (version.dll is
// not among them here: Wine's own user32.dll imports it, so Wine loads it
// with the program, before any code of the program runs; on Windows,
// user32.dll does not import it.)
const char* const kPlantedNames[] = {"riched20.dll", "uxtheme.dll", "dwmapi.dll",
                                     "cryptbase.dll", "propsys.dll", "oleacc.dll",
                                     "winmm.dll",     "userenv.dll"};

// Sets a variable of this process's environment, which the programs it
// starts inherit (Windows' own variables such as TMP; Wine's are read from
// elsewhere), and puts the previous value back at the end.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        char buffer[4096];
        DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
        had_ = length > 0 && length < sizeof buffer;
        if (had_) previous_.assign(buffer, length);
        SetEnvironmentVariableA(name, value.c_str());
    }
    ~ScopedVariable() { SetEnvironmentVariableA(name_, had_ ? previous_.c_str() : nullptr); }
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    const char* name_;
    bool had_ = false;
    std::string previous_;
};

Product UntrustedProduct(const std::vector<std::string>& extraSetup = {}) {
    Product product;
    product.name = kName;
    product.setup = {u8"InstallPath=e2e\\untrusted-default",
                     "MainProgram=Orbelo.exe",
                     "UnInstallerProgram=install.exe,-u -p \"%s\"",
                     "InstDispProgramMenu=0",
                     "UnInstDispProgramMenu=0",
                     std::string("RegCreateDirectory=") + kInstallKey};
    for (const std::string& line : extraSetup) product.setup.push_back(line);
    product.sources = "Orbelo.exe=1\r\n";
    product.files = {{"Orbelo.exe", "the program"}};
    return product;
}

ProductTraces Traces(const std::string& installDir) {
    ProductTraces traces;
    traces.name = kName;
    traces.mainProgram = "Orbelo.exe";
    traces.installKey = kInstallKey;
    traces.directories = {installDir};
    return traces;
}

// The load records the planted libraries left, as "name.pid: image" lines.
std::vector<std::string> LoadRecords() {
    std::vector<std::string> records;
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((std::string(kRecords) + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return records;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        records.push_back(std::string(entry.cFileName) + ": " +
                          ReadFileBytes(std::string(kRecords) + "\\" + entry.cFileName));
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return records;
}

// The planted library under every name in each of the given directories,
// removed again at the end.
class PlantedLibraries {
public:
    explicit PlantedLibraries(const std::vector<std::string>& dirs) {
        std::string library = ReadFileBytes(BuildPath("planted.dll"));
        EXPECT_FALSE(library.empty());
        for (const std::string& dir : dirs) {
            for (const char* name : kPlantedNames) {
                paths_.push_back(dir + "\\" + name);
                EXPECT_TRUE(WriteFileBytes(paths_.back(), library)) << paths_.back();
            }
        }
    }
    ~PlantedLibraries() {
        for (const std::string& path : paths_) DeleteFileA(path.c_str());
    }
    PlantedLibraries(const PlantedLibraries&) = delete;
    PlantedLibraries& operator=(const PlantedLibraries&) = delete;

private:
    std::vector<std::string> paths_;
};

}  // namespace

// An installation through the licence, then an uninstallation through the
// relaunched copy, with everything accepted.
static void InstallAndUninstall(const std::string& exe, const std::string& dir) {
    Process install = Driver::Start(exe);
    Window licence = install.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    EXPECT_TRUE(licence.WaitControlText(1020, u8"第1条（目的）"));
    licence.Answer(IDOK);
    ASSERT_TRUE(FinishInstallation(install, dir, kName));
    ASSERT_TRUE(UninstallEntryExists(kName));

    Process uninstall = StartUninstaller(kName);
    EXPECT_EQ(AcceptUninstallation(uninstall, kName), 0);
    EXPECT_FALSE(UninstallEntryExists(kName));
}

// Windows looks for a library that a system library loads by name in the
// program's folder first. With Wine told to prefer such a library to its own
// copy, as Windows would for one it does not know, the planted copies beside
// the installer and in the temporary folder (where the uninstaller's copy
// runs) are there for the taking: an installation with its licence and an
// uninstallation through the relaunched copy must load none of them.
TEST(Untrusted, LibrariesPlantedBesideTheProgramAreNeverLoaded) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir records("planted");
    ScratchDir package("untrusted-libraries");
    ScratchDir target("untrusted-libraries-target");
    Product product = UntrustedProduct({"Startrtf=start.rtf", u8"StartTitle=利用規約"});
    product.files.push_back({"start.rtf", ReadFileBytes(SourcePath("sample/start.rtf"))});
    std::string exe = BuildProduct(package, product);
    ASSERT_FALSE(exe.empty());
    std::string tempDir = TempPath("");
    PlantedLibraries planted({package.path(), tempDir.substr(0, tempDir.size() - 1)});
    // Native first: Wine then searches for these libraries as Windows does
    // for one it has no copy of.
    std::vector<std::unique_ptr<WineDllOverride>> nativeFirst;
    for (const char* name : kPlantedNames) {
        std::string library(name);
        nativeFirst.emplace_back(new WineDllOverride(library.substr(0, library.size() - 4),
                                                     "native,builtin"));
    }
    std::string dir = target.File("product");
    RegistrationGuard registration(Traces(dir));

    InstallAndUninstall(exe, dir);
    EXPECT_EQ(LoadRecords(), std::vector<std::string>());
}

// A temporary folder below a user name with blanks that reads like a switch
// ("Ann -sato"): the relaunched copy is started by its own path, and reads
// no "-s" out of it, so the uninstallation is the interactive one. (Wine
// quotes an application path found in an unquoted command line itself,
// which Windows does not; the command line is pinned by the unit tests.)
TEST(Untrusted, ATemporaryFolderThatReadsLikeASwitchKeepsTheUninstallationInteractive) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("untrusted-switch");
    ScratchDir temp("Ann -sato");
    std::string exe = BuildProduct(package, UntrustedProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = package.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    std::vector<std::string> copies;
    {
        ScopedVariable tmp("TMP", temp.path());
        ScopedVariable tempVariable("TEMP", temp.path());
        Process run = StartUninstaller(kName);
        Window question = run.WaitMessageBox();
        ASSERT_TRUE(question.found());
        question.Answer(IDYES);
        Window dialog = WaitUninstallComplete(run, kName);
        ASSERT_TRUE(dialog.found());
        copies.push_back(ProcessImage(dialog.pid));
        // A silent run would keep its background window hidden.
        bool background = false;
        for (const Window& window : run.Windows()) {
            background |= window.pid == dialog.pid && window.className == "SetupBackgroundWnd";
        }
        EXPECT_TRUE(background) << "the relaunched copy shows no background window";
        dialog.Press(1019);
        Window end = run.WaitMessageBox();
        ASSERT_TRUE(end.found());
        EXPECT_EQ(end.text, Text16(kName));
        end.Answer(IDOK);
        EXPECT_TRUE(run.WaitAllExit());
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].rfind(temp.path() + "\\Del", 0), 0u) << copies[0];
    EXPECT_FALSE(UninstallEntryExists(kName));
}

// A setup script lying beside a packaged installer, in a download folder that
// anyone can write, is not the package's: when the installed script is gone
// and the installer runs the installed uninstaller first, the uninstaller
// gets the package's own script, never the loose one, which here lists a file
// of the user's for deletion.
TEST(Untrusted, ALooseScriptBesideAReinstallingInstallerIsIgnored) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    ScratchDir package("untrusted-script");
    std::string exe = BuildProduct(package, UntrustedProduct());
    ASSERT_FALSE(exe.empty());
    std::string dir = package.File("product");
    RegistrationGuard registration(Traces(dir));
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    ASSERT_TRUE(DeleteFileA((dir + "\\install.inf").c_str()));
    ASSERT_TRUE(WriteFileBytes(dir + "\\letter.doc", "the user's own"));
    Product loose = UntrustedProduct();
    loose.sources += "letter.doc=1\r\n";
    ASSERT_TRUE(WriteFileBytes(package.File("install.inf"), loose.Script()));

    Process installer = Driver::Start(exe);
    Window offer = installer.WaitMessageBox();
    ASSERT_TRUE(offer.found());
    EXPECT_EQ(offer.icon, "question");
    offer.Answer(IDYES);
    EXPECT_EQ(AcceptUninstallation(installer, kName, false), 0);
    EXPECT_TRUE(FileExists(dir + "\\letter.doc"));
    EXPECT_TRUE(FinishInstallation(installer, dir, kName));
    EXPECT_EQ(ReadFileBytes(dir + "\\letter.doc"), "the user's own");
    EXPECT_EQ(ReadFileBytes(dir + "\\install.inf"), UntrustedProduct().Script());
}

// The installer holds its own file from its start: once the user has
// confirmed the elevation, the file in the download folder cannot be
// replaced, renamed or deleted until the installer has ended, so what it
// extracts and installs is what the user started.
TEST(Untrusted, TheRunningInstallerCannotBeSwappedUnderIt) {
    ScratchDir package("untrusted-swap");
    Product product = UntrustedProduct({"Startrtf=start.rtf", u8"StartTitle=利用規約"});
    product.files.push_back({"start.rtf", ReadFileBytes(SourcePath("sample/start.rtf"))});
    std::string exe = BuildProduct(package, product);
    ASSERT_FALSE(exe.empty());
    std::string original = ReadFileBytes(exe);

    Process run = Driver::Start(exe);
    Window licence = run.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    HANDLE writer = CreateFileA(exe.c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    EXPECT_FALSE(MoveFileA(exe.c_str(), (exe + ".old").c_str()));
    EXPECT_FALSE(DeleteFileA(exe.c_str()));
    licence.Answer(IDCANCEL);
    Window end = run.WaitMessageBox();
    ASSERT_TRUE(end.found());
    end.Answer(IDOK);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(ReadFileBytes(exe), original);
    MoveFileA((exe + ".old").c_str(), exe.c_str());
}
