// Edges of the installation road that only the whole program shows: an
// installer without an archive installing into its own directory, a
// destination file that cannot be replaced, a volume that fills up.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/support/small_volume.h"

using namespace e2e;

namespace {

const char kName[] = u8"ソフト表示エッジ";

ProductTraces EdgeTraces() {
    ProductTraces traces;
    traces.name = kName;
    traces.programFolders = {kName};
    return traces;
}

std::string Script(const std::string& sourceLines) {
    return SetupScript(kName, {"InstallPath=e2e\\road-edge-default", "InstDispProgramMenu=0"}) +
           Cp932FromUtf8(sourceLines);
}

const char kProgram[] = "MZ program bytes that stay as they are\r\n";
const char kReadme[] = "read me\r\n";

}  // namespace

// Appended bytes that are no archive leave the script directory at the
// program's own; choosing that directory as the destination copies every file
// onto itself, which must leave each one intact and still end with message 8.
TEST(InstallRoadEdges, InstallerWithoutArchiveInstallsIntoItsOwnDirectory) {
    RegistrationGuard registration(EdgeTraces());
    ScratchDir package("road-same-path");
    std::string exe = BuildRawInstaller(package, "Trailing bytes, not an archive at all\r\n");
    ASSERT_FALSE(exe.empty());
    std::string exeBytes = ReadFileBytes(exe);
    std::string script = Script("Orbelo.exe=1\r\nreadme.txt=1\r\n");
    ASSERT_TRUE(WriteFileBytes(package.File("install.inf"), script));
    ASSERT_TRUE(WriteFileBytes(package.File("Orbelo.exe"), kProgram));
    ASSERT_TRUE(WriteFileBytes(package.File("readme.txt"), kReadme));

    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, package.path());
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.text, Text8(kName));
    EXPECT_EQ(box.icon, "information");
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(ReadFileBytes(package.File("Orbelo.exe")), kProgram);
    EXPECT_EQ(ReadFileBytes(package.File("readme.txt")), kReadme);
    EXPECT_EQ(ReadFileBytes(package.File("install.inf")), script);
    EXPECT_EQ(ReadFileBytes(exe), exeBytes);
}

// A destination file held open by another program is not replaced: message 7
// names it, the later entries are copied all the same, and the run ends with
// message 10.
TEST(InstallRoadEdges, LockedDestinationFileGivesMessage7ThenMessage10) {
    RegistrationGuard registration(EdgeTraces());
    ScratchDir package("road-locked");
    ScratchDir target("road-locked-target");
    std::string exe =
        BuildInstaller(package, {{"install.inf", Script("readme.txt=1\r\nOrbelo.exe=1\r\n")},
                                 {"readme.txt", kReadme},
                                 {"Orbelo.exe", kProgram}});
    ASSERT_FALSE(exe.empty());
    std::string kept = target.File("readme.txt");
    ASSERT_TRUE(WriteFileBytes(kept, "old and locked"));
    // Closed before the scratch directory goes, whichever way the test ends.
    struct Holder {
        HANDLE handle;
        ~Holder() {
            if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
        }
    } holder{CreateFileA(kept.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr)};
    ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);

    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, target.path());
    ask.Press(IDOK);
    for (const std::string& expected : {Text7("readme.txt"), Text10(kName)}) {
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found()) << expected;
        EXPECT_EQ(box.text, expected);
        EXPECT_EQ(box.icon, "exclamation");
        box.Answer(IDOK);
    }
    for (const Window& window : run.WatchUntilExit(3000))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    EXPECT_EQ(run.WaitExit(), kFailed);
    CloseHandle(holder.handle);
    holder.handle = INVALID_HANDLE_VALUE;
    EXPECT_EQ(ReadFileBytes(kept), "old and locked");
    EXPECT_EQ(ReadFileBytes(target.File("Orbelo.exe")), kProgram);
}

// A volume that fills up in the middle of the copy: the file that no longer
// fits is named in message 7, and the run ends with message 10 instead of
// hanging or crashing. The sizes leave nothing to chance: the first entry
// takes a sixteenth of the volume, the second is twice the whole volume.
TEST(InstallRoadEdges, VolumeFillingUpDuringTheCopyGivesMessage7AndMessage10) {
    SmallVolume volume(1u << 20);
    if (!volume.Ready()) GTEST_SKIP() << "no small volume: " << volume.WhyNot();
    const std::string first(volume.Size() / 16, 'a');
    const std::string second(volume.Size() * 2, 'b');
    ASSERT_GE(volume.FreeBytes(), volume.Size() / 2);
    RegistrationGuard registration(EdgeTraces());
    ScratchDir package("road-full-volume");
    // Enough for the check of the destination dialog, not for the files.
    std::string script =
        SetupScript(kName, {"InstallPath=e2e\\road-edge-default", "InstDispProgramMenu=0",
                            "DstNeedSpace=1000"}) +
        "first.bin=1\r\nsecond.bin=1\r\nlast.txt=1\r\n";
    std::string exe = BuildInstaller(package, {{"install.inf", script},
                                               {"first.bin", first},
                                               {"second.bin", second},
                                               {"last.txt", kReadme}});
    ASSERT_FALSE(exe.empty());
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, volume.Root() + "inst");
    ask.Press(IDOK);
    // What was written of the second entry is removed with it, so the last
    // entry still finds room.
    const std::vector<std::string> expected = {Text7("second.bin"), Text10(kName)};
    std::vector<std::string> texts;
    while (texts.size() < expected.size()) {
        Window box = run.WaitMessageBox();
        if (!box.found()) break;
        texts.push_back(box.text);
        EXPECT_EQ(box.icon, "exclamation") << box.text;
        box.Answer(IDOK);
    }
    EXPECT_EQ(texts, expected);
    for (const Window& window : run.WatchUntilExit(3000))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_EQ(GetFileAttributesA((volume.Root() + "inst\\second.bin").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadFileBytes(volume.Root() + "inst\\first.bin"), first);
    EXPECT_EQ(ReadFileBytes(volume.Root() + "inst\\last.txt"), kReadme);
}

// Two new levels typed under an existing folder: both are made, the
// compressed entry arrives expanded byte for byte, the plain one as it is.
TEST(InstallRoadEdges, TwoNewLevelsUnderAnExistingFolderReceiveTheFiles) {
    RegistrationGuard registration(EdgeTraces());
    ScratchDir package("road-two-levels");
    ScratchDir target("road-two-levels-target");
    // The text that tests/wine/data/peer_lines.txt_ holds, compressed by the
    // peer tool.
    std::string original;
    char line[64];
    for (int i = 0; i < 200; ++i) {
        wsprintfA(line, "line %03d: Orbelo sample text\r\n", i);
        original += line;
    }
    std::string exe = BuildInstaller(
        package,
        {{"install.inf", Script("lines.txt=1\r\nreadme.txt=1\r\n")},
         {"lines.tx_", ReadFileBytes(SourcePath("tests/wine/data/peer_lines.txt_"))},
         {"readme.txt", kReadme}});
    ASSERT_FALSE(exe.empty());
    std::string dir = target.path() + u8"\\第一階層\\second level";
    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, dir);
    Sleep(300);
    Screenshot shot = Screenshot::Take();
    EXPECT_TRUE(shot.SaveBmp(ArtifactPath("road-destination-dialog.bmp")));
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.text, Text8(kName));
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_TRUE(run.WaitAllExit());
    std::string installed = Cp932FromUtf8(dir);
    EXPECT_EQ(ReadFileBytes(installed + "\\lines.txt"), original);
    EXPECT_EQ(ReadFileBytes(installed + "\\readme.txt"), kReadme);
}

// The licence refused, by its button or by closing it and confirming: message
// 2, no destination dialog, and nothing of the product on the disk or in the
// registry.
TEST(InstallRoadEdges, RefusedLicenceInstallsNothing) {
    for (bool byClosing : {false, true}) {
        SCOPED_TRACE(byClosing ? "closed" : "declined");
        RegistrationGuard registration(EdgeTraces());
        ScratchDir package("road-licence-refused");
        ScratchDir target("road-licence-target");
        std::string script =
            SetupScript(kName, {"InstallPath=e2e\\road-licence-target\\inst", "InstDispProgramMenu=0",
                                "Startrtf=start.rtf", u8"StartTitle=利用規約"}) +
            "readme.txt=1\r\n";
        std::string exe = BuildInstaller(
            package, {{"install.inf", script},
                      {"start.rtf", ReadFileBytes(SourcePath("sample/start.rtf"))},
                      {"readme.txt", kReadme}});
        ASSERT_FALSE(exe.empty());
        Process run = Driver::Start(exe);
        Window licence = run.WaitWindowTitled(u8"利用規約");
        ASSERT_TRUE(licence.found());
        if (byClosing) {
            licence.Close();
            Window ask = run.WaitMessageBox();
            ASSERT_TRUE(ask.found());
            const std::string question = kName + std::string(u8"のインストールを終了します。よろしいですか？");
            EXPECT_EQ(ask.text, question);
            EXPECT_EQ(ask.icon, "question");
            ask.Answer(IDNO);
            ASSERT_TRUE(ask.WaitGone());
            EXPECT_TRUE(licence.exists());
            licence.Close();
            ask = run.WaitMessageBox();
            ASSERT_TRUE(ask.found());
            EXPECT_EQ(ask.text, question);
            ask.Answer(IDYES);
        } else {
            licence.Answer(IDCANCEL);
        }
        Window box = run.WaitMessageBox();
        ASSERT_TRUE(box.found());
        EXPECT_EQ(box.text, kName + std::string(u8"のインストールを終了します。\n"
                                                u8"必要であれば、再度インストールを行ってください。"));
        box.Answer(IDOK);
        for (const Window& window : run.WatchUntilExit(3000))
            EXPECT_NE(window.title, kDirCaption) << window.Describe();
        EXPECT_EQ(run.WaitExit(), kDeclined);
        EXPECT_FALSE(FileExists(target.File("inst")));
        EXPECT_FALSE(UninstallEntryExists(kName));
    }
}
