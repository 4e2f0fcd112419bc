// The sample package installed as a whole, interactively and silently: the
// files, the Uninstall entry, App Paths, the Install key record, the program
// folder with its two shortcuts and the desktop icon, all read back from the
// prefix; and the program folder window that a script may ask for.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"

using namespace e2e;

namespace {

const char kSample[] = u8"オルベロ";
const char kSampleDir[] = "C:\\Program Files\\Quorvane\\Orbelo_Sample";
const char kSampleInstallKey[] = "Software\\Quorvane\\Orbelo_Sample\\Install";
const char kFolder[] = u8"Quorvane オルベロ";

const char* const kSampleFiles[] = {"Orbelo.exe",  "Orbelo.chm",    "install.inf",
                                    "install.exe", "uninstall.ico", "start.rtf"};

std::string SampleInstaller() {
    return ZPath(std::string(INSTALLER_BUILD_DIR) + "/../sample-x64/install.exe");
}

// The package files of the sample as build_sample.sh staged them.
std::string StagedSampleFile(const std::string& name) {
    return ZPath(std::string(INSTALLER_BUILD_DIR) + "/../sample-files-x64/" + name);
}

// What the installation's own record will say, worked out from what exists
// before it runs: the levels of dir and the keys of the Install key path
// that are missing.
struct ExpectedRecord {
    std::string directories;
    std::string keys;
};

std::string Below(const std::string& path, const std::string& missing) {
    if (missing.empty()) return "";
    size_t start = missing.rfind('\\');
    return path.substr(start == std::string::npos ? 0 : start + 1);
}

ExpectedRecord RecordBefore() {
    ExpectedRecord record;
    record.directories = Below(kSampleDir, FirstMissingDirectory(kSampleDir));
    record.keys = Below(kSampleInstallKey, FirstMissingMachineKey(kSampleInstallKey));
    return record;
}

// Everything the sample's installation into kSampleDir leaves, checked as a
// user or Windows would find it.
void ExpectSampleInstalled(const ExpectedRecord& record) {
    const std::string dir = kSampleDir;
    for (const char* name : kSampleFiles) {
        EXPECT_TRUE(FileExists(dir + "\\" + name)) << name;
    }
    EXPECT_EQ(ReadFileBytes(dir + "\\Orbelo.exe"), ReadFileBytes(BuildPath("Orbelo.exe")));
    EXPECT_EQ(ReadFileBytes(dir + "\\start.rtf"), ReadFileBytes(SourcePath("sample/start.rtf")));

    std::string entry = std::string(kUninstallKey) + "\\" + Cp932FromUtf8(kSample);
    EXPECT_EQ(Utf8FromCp932(MachineString(entry, "DisplayName")), kSample);
    EXPECT_EQ(MachineString(entry, "UninstallString"),
              "\"" + dir + "\\install.exe\" -u -p \"" + dir + "\"");
    EXPECT_EQ(MachineString(entry, "DisplayIcon"), dir + "\\Orbelo.exe");
    EXPECT_EQ(MachineString(entry, "InstallLocation"), dir);
    EXPECT_EQ(MachineString(std::string(kAppPathsKey) + "\\Orbelo.exe", nullptr),
              dir + "\\Orbelo.exe");

    EXPECT_EQ(MachineString(kSampleInstallKey, "CreateDirectory"), record.directories);
    EXPECT_EQ(MachineString(kSampleInstallKey, "CreateKeyPath"), record.keys);
    // The product's own settings key is the product's business.
    EXPECT_FALSE(UserKeyExists("Software\\Quorvane\\Orbelo_Sample"));

    std::string folder = CommonPrograms() + "\\" + Cp932FromUtf8(kFolder);
    Shortcut program = ReadShortcut(folder + "\\" + Cp932FromUtf8(kSample) + ".lnk");
    ASSERT_TRUE(program.loaded);
    EXPECT_EQ(program.target, dir + "\\Orbelo.exe");
    EXPECT_EQ(program.arguments, "");
    EXPECT_EQ(program.workingDirectory, dir);
    EXPECT_EQ(program.iconPath, "");
    Shortcut remover = ReadShortcut(folder + "\\" + Cp932FromUtf8(u8"オルベロの削除") + ".lnk");
    ASSERT_TRUE(remover.loaded);
    EXPECT_EQ(remover.target, dir + "\\install.exe");
    EXPECT_EQ(remover.arguments, "-u -p \"" + dir + "\"");
    EXPECT_EQ(remover.workingDirectory, dir);
    EXPECT_EQ(remover.iconPath, dir + "\\uninstall.ico");

    Shortcut desktop = ReadShortcut(CommonDesktop() + "\\" + Cp932FromUtf8(kSample) + ".lnk");
    ASSERT_TRUE(desktop.loaded);
    EXPECT_EQ(desktop.target, dir + "\\Orbelo.exe");
    EXPECT_EQ(desktop.arguments, "");
    EXPECT_EQ(desktop.workingDirectory, dir + "\\");
    EXPECT_EQ(desktop.iconPath, "");
}

// A package of the sample's files with its script changed by edit.
std::string SampleVariant(const ScratchDir& dir, std::string (*edit)(std::string)) {
    std::vector<PackageFile> files;
    for (const char* name :
         {"Orbelo.ex_", "Orbelo.ch_", "install.inf", "uninstall.ic_", "start.rtf"}) {
        std::string bytes = ReadFileBytes(StagedSampleFile(name));
        if (bytes.empty()) {
            ADD_FAILURE() << StagedSampleFile(name) << " is staged by tools/build_sample.sh";
            return "";
        }
        if (std::string(name) == "install.inf") bytes = edit(bytes);
        files.push_back({name, bytes});
    }
    return BuildInstaller(dir, files);
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(MachineKeyExists(std::string(kUninstallKey) + "\\" + Cp932FromUtf8(kSample)))
            << "the sample is installed in the prefix";
        ASSERT_FALSE(FileExists(kSampleDir)) << kSampleDir << " exists";
        record_ = RecordBefore();
        guard_.reset(new RegistrationGuard(SampleProductTraces()));
    }
    void TearDown() override {
        guard_.reset();
        EXPECT_FALSE(FileExists(kSampleDir));
        EXPECT_FALSE(MachineKeyExists(kSampleInstallKey));
    }

    ExpectedRecord record_;
    std::unique_ptr<RegistrationGuard> guard_;
};

}  // namespace

TEST_F(Registration, TheSampleInstalledInteractivelyIsRegisteredAsAWhole) {
    std::string installer = SampleInstaller();
    ASSERT_TRUE(FileExists(installer)) << installer << " is built by tools/build_sample.sh";
    Process run = Driver::Start(installer);
    Window licence = run.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    licence.Answer(1);
    Window ask = run.WaitWindowTitled(u8"インストール先のディレクトリ入力");
    ASSERT_TRUE(ask.found());
    EXPECT_EQ(ask.ControlText(1000), kSampleDir);
    ask.Press(IDOK);
    Window done = run.WaitMessageBox();
    ASSERT_TRUE(done.found());
    EXPECT_EQ(done.text, std::string(kSample) + u8"のインストールを終了します。");
    // The sample script shows no folder window.
    for (const Window& window : run.Windows()) {
        EXPECT_TRUE(window.IsMessageBox() || window.className == "SetupBackgroundWnd")
            << window.Describe();
    }
    done.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    ExpectSampleInstalled(record_);
}

TEST_F(Registration, TheSampleInstalledSilentlyWithoutALicenceIsRegisteredTheSameWay) {
    ScratchDir package("registration-silent");
    std::string installer = SampleVariant(
        package, [](std::string script) { return Replaced(script, "Startrtf=start.rtf\r\n", ""); });
    ASSERT_FALSE(installer.empty());
    Process run = Driver::Start(installer, "-s");
    for (const Window& window : run.WatchUntilExit(15000)) {
        EXPECT_FALSE(window.visible && window.className != "SetupBackgroundWnd")
            << window.Describe();
    }
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    ExpectSampleInstalled(record_);
}

TEST_F(Registration, AScriptThatAsksForItShowsTheProgramFolderWindow) {
    ScratchDir package("registration-folder-window");
    std::string installer = SampleVariant(package, [](std::string script) {
        return Replaced(script, "InstDispProgramMenu=0", "InstDispProgramMenu=1");
    });
    ASSERT_FALSE(installer.empty());
    Process run = Driver::Start(installer);
    Window licence = run.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    licence.Answer(1);
    Window ask = run.WaitWindowTitled(u8"インストール先のディレクトリ入力");
    ASSERT_TRUE(ask.found());
    ask.Press(IDOK);
    // The shell shows the folder in a window of its own process.
    Window folder = run.WaitWindowTitled(kFolder);
    // Opened only as a real directory, it still opens.
    EXPECT_TRUE(folder.found());
    Window done = run.WaitMessageBox();
    ASSERT_TRUE(done.found());
    if (folder.found()) {
        Sleep(1000);  // the folder's list is filled after the window shows
        Screenshot shot = Screenshot::Take();
        EXPECT_TRUE(shot.SaveBmp(ArtifactPath("registration-program-folder.bmp")));
        folder.Close();
        EXPECT_TRUE(folder.WaitGone());
    }
    done.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    ExpectSampleInstalled(record_);
}
