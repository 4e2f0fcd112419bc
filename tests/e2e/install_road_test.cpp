// The installation road of install.exe as a user meets it: the directory
// asked for, the files copied and expanded into it, the completion message;
// the failures with their messages; the silent run; the readme.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"

using namespace e2e;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932.
const char kName[] = u8"ソフト表示ロード";

// The text that tests/wine/data/peer_lines.txt_ holds, compressed by the peer
// tool.
std::string PeerLinesText() {
    std::string text;
    char line[64];
    for (int i = 0; i < 200; ++i) {
        wsprintfA(line, "line %03d: Orbelo sample text\r\n", i);
        text += line;
    }
    return text;
}

// A package for kName: its script with the [Setup] lines given and the
// [Source] lines after install.inf and install.exe, and the files.
std::string Installer(const ScratchDir& dir, std::vector<std::string> setup,
                      const std::string& sourceLines, std::vector<PackageFile> files) {
    // No folder window: it would outlive the installer's run.
    setup.push_back("InstDispProgramMenu=0");
    files.insert(files.begin(), PackageFile{"install.inf", SetupScript(kName, setup) +
                                                               Cp932FromUtf8(sourceLines)});
    return BuildInstaller(dir, files);
}

// The registration that an installation of kName leaves, removed with the
// guard.
ProductTraces RoadTraces() {
    ProductTraces traces;
    traces.name = kName;
    traces.programFolders = {kName};
    return traces;
}

std::vector<PackageFile> ProductFiles() {
    return {{"Orbelo.ex_", ReadFileBytes(SourcePath("tests/wine/data/peer_lines.txt_"))},
            {"readme.txt", "read me\r\n"}};
}

const char kProductSources[] = "Orbelo.exe=1\r\nreadme.txt=1\r\nabsent.opt=0\r\n";

void ExpectProductInstalled(const std::string& dir) {
    EXPECT_EQ(ReadFileBytes(dir + "\\Orbelo.exe"), PeerLinesText());
    EXPECT_EQ(ReadFileBytes(dir + "\\readme.txt"), "read me\r\n");
    EXPECT_TRUE(FileExists(dir + "\\install.inf"));
    EXPECT_TRUE(FileExists(dir + "\\install.exe"));
    EXPECT_FALSE(FileExists(dir + "\\absent.opt"));
}

}  // namespace

TEST(InstallRoad, FilesArriveInTheChosenDirectoryAndTheRunEndsWithMessage8) {
    RegistrationGuard registration(RoadTraces());
    ScratchDir package("road-package");
    ScratchDir target("road-target");
    std::string exe = Installer(package, {"InstallPath=e2e\\road-default", "DstNeedSpace=7000"},
                                kProductSources, ProductFiles());
    ASSERT_FALSE(exe.empty());
    std::string dir = target.path() + u8"\\新しい ソフト";
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, dir);
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.title, InstallerTitle(kName));
    EXPECT_EQ(box.text, Text8(kName));
    EXPECT_EQ(box.icon, "information");
    // The copy dialog has gone before the end.
    for (const Window& window : run.Windows()) {
        EXPECT_NE(window.title, u8"ファイルのコピー") << window.Describe();
    }
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    ExpectProductInstalled(Cp932FromUtf8(dir));
}

TEST(InstallRoad, MissingFilesShowOneMessageEachThenMessage10) {
    RegistrationGuard registration(RoadTraces());
    ScratchDir package("road-missing");
    ScratchDir target("road-missing-target");
    std::string exe = Installer(package, {"InstallPath=e2e\\road-default"},
                                u8"first.dll=1\r\nOrbelo.exe=1\r\n表示.dll=1\r\n", ProductFiles());
    ASSERT_FALSE(exe.empty());
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, target.path());
    ask.Press(IDOK);
    for (const std::string& expected : {Text7("first.dll"), Text7(u8"表示.dll"), Text10(kName)}) {
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found()) << expected;
        EXPECT_EQ(box.text, expected);
        EXPECT_EQ(box.icon, "exclamation");
        box.Answer(IDOK);
    }
    for (const Window& window : run.WatchUntilExit(3000))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    EXPECT_EQ(run.WaitExit(), kFailed);
    // The entries between the failures were copied all the same.
    EXPECT_EQ(ReadFileBytes(target.File("Orbelo.exe")), PeerLinesText());
}

TEST(InstallRoad, SilentRunInstallsIntoTheProposalWithoutAnyWindow) {
    RegistrationGuard registration(RoadTraces());
    ScratchDir target("road-silent");
    ScratchDir package("road-silent-package");
    std::string exe =
        Installer(package, {"InstallPath=e2e\\road-silent\\inst"}, kProductSources, ProductFiles());
    ASSERT_FALSE(exe.empty());
    Process run = Driver::Start(exe, "-s");
    for (const Window& window : run.WatchUntilExit(10000))
        EXPECT_FALSE(window.visible && window.IsMessageBox()) << window.Describe();
    EXPECT_EQ(run.WaitExit(), 0);
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    ExpectProductInstalled(std::string(windows, 3) + "e2e\\road-silent\\inst");
}

TEST(InstallRoad, ReadmeOpensInNotepadFromADirectoryWithBlanks) {
    RegistrationGuard registration(RoadTraces());
    ScratchDir package("road-readme");
    ScratchDir target("road-readme-target");
    std::string exe = Installer(package, {"InstallPath=e2e\\road-default", "Readme=readme.txt"},
                                kProductSources, ProductFiles());
    ASSERT_FALSE(exe.empty());
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, target.path() + "\\inst dir");
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.text, Text8(kName));
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    Window notepad = run.WaitWindow(WithClass("Notepad"), "notepad");
    ASSERT_TRUE(notepad.found());
    EXPECT_NE(notepad.title.find("readme"), std::string::npos) << notepad.title;
    run.Terminate();
}
