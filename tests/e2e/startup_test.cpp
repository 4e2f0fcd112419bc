// install.exe's start-up as a user meets it: every refusal that Wine can
// produce, with the exact text, title, icon and owner of its message box, and
// the extraction directory gone after every ending.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"

using namespace e2e;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932: titles and texts
// built from this name show whether anything took a trail byte for "\".
const char kName[] = u8"ソフト表示テスト";

const char kText11[] = u8"インストール情報ファイルの読み込みができません。\n処理を中止します。";
const char kText15[] =
    u8"アンインストール情報ファイルの読み込みができません。\nアンインストールを中止します。";
const char kText49[] =
    u8"このプログラムの動作には Windows 95/98/Me または\nWindows NT4.0/2000/XP/VISTAが必要です。"
    u8"\n処理を中断します。";

const char kText1[] =
    u8"タイマ資源がありまあせん。他のアプリケーションを停止して再度インストールを試みてください。";

std::string Text37(int code) {
    return u8"作業用ファイルの作成に失敗しました。\n詳細コード:" + std::to_string(code) +
           u8"\nインストールを中止します。";
}
std::string Text13(const std::string& name) {
    return name + u8"はインストールされていません。\nインストールを中止します。";
}
std::string Text52(const std::string& name) {
    return name +
           u8"は既にインストールされています。インストールを行う前に、アンインストールを行いますか"
           u8"？"
           u8"\n\n［ はい ］   をクリックするとアンインストーラを起動します。\n［ いいえ ］ "
           u8"をクリックするとインストーラを終了します。\n\n既に" +
           name +
           u8"に設定済みの無線LANアクセスポイント情報(ESS-IDやネットワーク "
           u8"キーなど)は全て引き継がれます。";
}
std::string Text2005(const std::string& name) {
    return name + u8"が起動中です。" + name + u8"を終了させてから、インストールを行ってください。";
}
std::string Text2006(const std::string& name) {
    return name + u8"が起動中です。" + name +
           u8"を終了させてから、アンインストールを行ってください。";
}

// A well-formed package for kName (or `name`) with the given [Setup] keys.
std::string ValidInstaller(const ScratchDir& dir, const std::vector<std::string>& setup = {},
                           const std::string& name = kName) {
    return BuildInstaller(dir, {{"install.inf", SetupScript(name, setup)}});
}

// The archive header up to and including the self entry, for hand-made
// archives: magic, count, and a self entry of the stub's size.
std::string RawHeader(int count, long long selfSize = StubSize()) {
    return "INSTARC0001\r\n" + std::to_string(count) + "\r\n" + std::to_string(selfSize) +
           "\r\n1213187075\r\ninstall.exe\r\n";
}

struct Box {
    std::string title;
    std::string text;
    const char* icon;
    std::vector<int> buttons;
};

// Checks the next message box of the run against `expected`.
Window ExpectBox(Process& run, const Box& expected) {
    Window box = run.WaitMessageBox();
    if (!box.found()) return box;
    // The UTF-8 forms again, readable, for when they differ.
    EXPECT_EQ(box.title, expected.title) << box.title << "\n" << expected.title;
    EXPECT_EQ(box.text, expected.text) << box.text << "\n" << expected.text;
    EXPECT_EQ(box.icon, expected.icon);
    EXPECT_EQ(box.ButtonIds(), expected.buttons);
    return box;
}

// Runs exe with args to a single stop box with OK, answers it and expects a
// normal end with no extraction directory left behind. Returns the box.
Window ExpectRefusal(const std::string& exe, const std::string& args, const std::string& title,
                     const std::string& text) {
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe, args);
    Window box = ExpectBox(run, {title, text, "stop", {IDOK}});
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_TRUE(run.WaitAllExit());
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
    return box;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// While it lives, every process of the desktop fails to create install.exe's
// background window: a system-wide CBT hook from the test's hook library
// refuses it, as a system without window resources would.
class BackgroundWindowRefused {
public:
    BackgroundWindowRefused() {
        library_ = LoadLibraryA(BuildPath("refuse_window_hook.dll").c_str());
        if (!library_) return;
        HOOKPROC proc = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(library_, "RefuseWindowProc")));
        if (proc) hook_ = SetWindowsHookExA(WH_CBT, proc, library_, 0);
    }
    ~BackgroundWindowRefused() {
        if (hook_) UnhookWindowsHookEx(hook_);
        if (library_) FreeLibrary(library_);
    }
    BackgroundWindowRefused(const BackgroundWindowRefused&) = delete;
    BackgroundWindowRefused& operator=(const BackgroundWindowRefused&) = delete;
    bool active() const { return hook_ != nullptr; }

private:
    HMODULE library_ = nullptr;
    HHOOK hook_ = nullptr;
};

}  // namespace

// ExtractPackage's detail codes reach the user in message 37, shown before
// the script is read: no product name in the title, no owner window.
TEST(Startup, BrokenPackagesShowMessage37WithTheirDetailCode) {
    ScratchDir dir("broken-packages");
    long long stubSize = StubSize();
    ASSERT_GT(stubSize, 0);
    struct Case {
        const char* what;
        std::string appended;
        int code;
    } cases[] = {
        {"bare stub", "", 109},
        {"count 0", "INSTARC0001\r\n0\r\n", 302},
        {"self entry of another size", RawHeader(1, stubSize + 1) + "5\r\n1\r\na.txt\r\nhello",
         201},
        {"truncated entry", RawHeader(1) + "100\r\n1213348614\r\nreadme.txt\r\nshort", 401},
        {"empty entry", RawHeader(1) + "0\r\n1213348614\r\nempty.txt\r\n", 401},
        {"name leaving the directory", RawHeader(1) + "5\r\n1213348614\r\n..\\evil.txt\r\nhello",
         400},
        {"name with a drive", RawHeader(1) + "5\r\n1213348614\r\nC:evil.txt\r\nhello", 400},
        {"count beyond the entries", RawHeader(2) + "5\r\n1213348614\r\na.txt\r\nhello", 403},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string exe = BuildRawInstaller(dir, c.appended);
        Window box = ExpectRefusal(exe, "", u8" インストーラ", Text37(c.code));
        EXPECT_EQ(box.owner, nullptr);
    }
    // Names that would leave the extraction directory wrote nothing anywhere.
    EXPECT_FALSE(FileExists(TempPath("evil.txt")));
    EXPECT_FALSE(FileExists("C:\\evil.txt"));
}

// While message 11 is up, the extraction directory holds the package; at the
// end it is gone.
TEST(Startup, PackageWithoutScriptShowsMessage11AndRemovesItsFiles) {
    ScratchDir dir("no-script");
    std::string exe = BuildInstaller(dir, {{"readme.txt", "Readme of a package without script"}});
    ASSERT_FALSE(exe.empty());
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window box = ExpectBox(run, {u8" インストーラ", kText11, "stop", {IDOK}});
    std::vector<std::string> during = NewExtractionDirs(before);
    ASSERT_EQ(during.size(), 1u);
    EXPECT_TRUE(FileExists(TempPath(during[0] + "\\install.exe")));
    EXPECT_EQ(ReadFileBytes(TempPath(during[0] + "\\readme.txt")),
              "Readme of a package without script");
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_FALSE(FileExists(TempPath(during[0])));
}

// Data after the image that is no archive: nothing is extracted, the script is
// looked for beside the program, and the empty extraction directory that was
// made is removed again.
TEST(Startup, AppendedDataThatIsNoArchiveReadsTheProgramsOwnDirectory) {
    ScratchDir dir("not-an-archive");
    std::string exe = BuildRawInstaller(dir, "Some trailing data, not an archive\r\n");
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window box = ExpectBox(run, {u8" インストーラ", kText11, "stop", {IDOK}});
    std::vector<std::string> during = NewExtractionDirs(before);
    ASSERT_EQ(during.size(), 1u);
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA(TempPath(during[0] + "\\*.*").c_str(), &entry);
    int entries = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (strcmp(entry.cFileName, ".") && strcmp(entry.cFileName, "..")) ++entries;
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    EXPECT_EQ(entries, 0);
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
}

// The uninstaller's refusals before the script is read carry the uninstaller
// title without a product name; nothing is extracted and no window but the
// box is shown.
TEST(Startup, UninstallerRefusalsBeforeTheScript) {
    ScratchDir empty("uninstall-no-script");
    Process run = Driver::Start(StubPath(), "-u");
    Window box = ExpectBox(run, {u8" アンインストーラ", kText15, "stop", {IDOK}});
    EXPECT_EQ(run.Windows().size(), 1u);
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);

    ExpectRefusal(StubPath(), "-u -p " + Quoted(empty.path()), u8" アンインストーラ", kText11);
    // "-u" on a package: the uninstaller never extracts, so no archive problem
    // shows; the script is looked for in the -p directory.
    ScratchDir package("uninstall-package");
    std::string exe = ValidInstaller(package);
    ExpectRefusal(exe, "-u -p " + Quoted(empty.path()), u8" アンインストーラ", kText11);
}

// An uninstaller whose product has no Uninstall entry: message 13 over the
// background window, which carries the uninstaller title.
TEST(Startup, UninstallerOfAProductThatIsNotInstalledShowsMessage13) {
    ScratchDir installed("not-installed");
    ASSERT_TRUE(WriteFileBytes(installed.File("install.inf"), SetupScript(kName)));
    ASSERT_FALSE(UninstallEntryExists(kName));
    Process run = Driver::Start(StubPath(), "-u -p " + Quoted(installed.path()));
    Window box = ExpectBox(run, {UninstallerTitle(kName), Text13(kName), "stop", {IDOK}});
    Window background = Window::Read(box.owner);
    EXPECT_EQ(background.title, UninstallerTitle(kName));
    EXPECT_TRUE(background.visible);
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_FALSE(IsWindow(background.hwnd));
}

// The product's running-instance mutex stops both modes after the script is
// read (the name is known) and before any window exists (no owner).
TEST(Startup, RunningProductStopsInstallerAndUninstaller) {
    ScratchDir package("running-package");
    std::string exe = ValidInstaller(package);
    ScratchDir installed("running-installed");
    ASSERT_TRUE(WriteFileBytes(installed.File("install.inf"), SetupScript(kName)));
    UninstallEntry entry(kName);
    ProductMutex mutex;
    ASSERT_TRUE(mutex.held());

    Window box = ExpectRefusal(exe, "", InstallerTitle(kName), Text2005(kName));
    EXPECT_EQ(box.owner, nullptr);
    box = ExpectRefusal(StubPath(), "-u -p " + Quoted(installed.path()), UninstallerTitle(kName),
                        Text2006(kName));
    EXPECT_EQ(box.owner, nullptr);
}

// The sample product itself holds the mutex while it runs.
TEST(Startup, RunningSampleProductIsRecognised) {
    ScratchDir package("running-sample");
    std::string exe = ValidInstaller(package, {}, u8"オルベロ");
    Process product = Driver::Start(BuildPath("Orbelo.exe"));
    Window productWindow = product.WaitWindowTitled(u8"オルベロ");
    ASSERT_TRUE(productWindow.found());
    ExpectRefusal(exe, "", InstallerTitle(u8"オルベロ"), Text2005(u8"オルベロ"));
    productWindow.Close();
    EXPECT_EQ(product.WaitExit(), 0);
}

// Product installed, the user declines to uninstall it first: message 52
// (question, over the background window), then message 8. The background
// window is the full-screen gradient with the white title.
TEST(Startup, InstalledProductDeclinedEndsWithMessage8) {
    ScratchDir package("installed-declined");
    std::string exe = ValidInstaller(package);
    UninstallEntry entry(kName);
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window question =
        ExpectBox(run, {InstallerTitle(kName), Text52(kName), "question", {IDYES, IDNO}});
    ASSERT_TRUE(question.found());
    Window background = Window::Read(question.owner);
    EXPECT_EQ(background.title, InstallerTitle(kName));

    // Gradient: 256 bands from black to blue over the client height, the last
    // H mod 256 bands one pixel taller; left column, clear of the centred box.
    RECT client = background.ClientRectOnScreen();
    int height = client.bottom - client.top;
    ASSERT_GE(height, 256);
    Sleep(300);  // the first paint follows the show at once; give X a moment
    Screenshot shot = Screenshot::Take();
    ASSERT_FALSE(shot.empty());
    int q = height / 256, r = height % 256, y = 0, wrongRows = 0;
    for (int band = 0; band < 256; ++band) {
        int bandHeight = q + (band > 255 - r ? 1 : 0);
        for (int row = 0; row < bandHeight; ++row, ++y) {
            if (shot.Pixel(client.left + 2, client.top + y) != (uint32_t)band) ++wrongRows;
        }
    }
    EXPECT_EQ(wrongRows, 0);
    EXPECT_EQ(shot.Pixel(client.left + 2, client.top), 0x000000u);
    EXPECT_EQ(shot.Pixel(client.left + 2, client.bottom - 1), 0x0000FFu);
    // The title: white letters from (10, 10), 25 units high.
    int white = 0;
    for (int yy = client.top + 10; yy < client.top + 40; ++yy)
        for (int xx = client.left + 10; xx < client.left + 300; ++xx)
            if (shot.Pixel(xx, yy) == 0xFFFFFFu) ++white;
    EXPECT_GT(white, 50);
    shot.SaveBmp(ArtifactPath("startup-background.bmp"));

    question.Answer(IDNO);
    Window end = ExpectBox(run, {InstallerTitle(kName), Text8(kName), "exclamation", {IDOK}});
    end.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kDeclined);
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
    EXPECT_TRUE(UninstallEntryExists(kName));
}

// A silent installer that finds the product installed ends without a word and
// without ever showing a window.
TEST(Startup, SilentInstallerOfAnInstalledProductEndsWithoutAnyWindow) {
    ScratchDir package("installed-silent");
    std::string exe = ValidInstaller(package);
    UninstallEntry entry(kName);
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe, "-s");
    std::vector<Window> seen = run.WatchUntilExit();
    EXPECT_TRUE(seen.empty()) << seen.size() << " window(s), first: " << seen[0].Describe();
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
}

// Refused systems: a server edition of the 5.x family and NT before 4.0. The
// check comes first, so nothing is extracted.
TEST(Startup, RefusedWindowsVersionsShowMessage49) {
    ScratchDir package("refused-version");
    std::string exe = ValidInstaller(package);
    for (const char* version : {"win2003", "nt351"}) {
        SCOPED_TRACE(version);
        WineWindowsVersion wine(version);
        ASSERT_TRUE(wine.set());
        Window box = ExpectRefusal(exe, "", u8" インストーラ", kText49);
        EXPECT_EQ(box.owner, nullptr);
        ExpectRefusal(exe, "-u -p " + Quoted(package.path()), u8" アンインストーラ", kText49);
    }
}

// Accepted systems get past every check to the background window. Windows 10
// is seen as 6.2 by a program whose manifest does not claim it, as on a real
// system.
TEST(Startup, AcceptedWindowsVersionsReachTheBackgroundWindow) {
    ScratchDir package("accepted-version");
    std::string exe = ValidInstaller(package);
    for (const char* version : {"nt40", "win2k", "winxp", "winxp64", "vista", "win10", "win95"}) {
        SCOPED_TRACE(version);
        WineWindowsVersion wine(version);
        ASSERT_TRUE(wine.set());
        std::set<std::string> before = ExtractionDirs();
        Process run = Driver::Start(exe);
        Window background = run.WaitWindowTitled(InstallerTitle(kName));
        EXPECT_TRUE(background.found());
        for (const Window& window : run.Windows())
            EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
        run.Terminate();
        for (const std::string& dir : NewExtractionDirs(before)) RemoveTree(TempPath(dir));
    }
}

// On Windows 98 the running-product probe is skipped: with the mutex held the
// installer goes on to its background window instead of showing message 2005.
TEST(Startup, Windows98DoesNotProbeTheRunningProduct) {
    ScratchDir package("win98");
    std::string exe = ValidInstaller(package);
    ProductMutex mutex;
    WineWindowsVersion wine("win98");
    ASSERT_TRUE(wine.set());
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window background = run.WaitWindowTitled(InstallerTitle(kName));
    EXPECT_TRUE(background.found());
    for (const Window& window : run.WatchUntilExit(1500))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    // The run goes on to the installation steps; what they show is not the
    // subject here.
    run.Terminate();
    for (const std::string& dir : NewExtractionDirs(before)) RemoveTree(TempPath(dir));
}

// The licence declined: message 2 after the licence dialog, then a clean end.
TEST(Startup, DeclinedLicenceEndsWithMessage2) {
    ScratchDir package("licence-declined");
    std::string exe = BuildInstaller(
        package,
        {{"install.inf", SetupScript(kName, {"Startrtf=start.rtf", u8"StartTitle=利用規約"})},
         {"start.rtf", ReadFileBytes(SourcePath("sample/start.rtf"))}});
    ASSERT_FALSE(exe.empty());
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window licence = run.WaitWindowTitled(u8"利用規約");
    ASSERT_TRUE(licence.found());
    licence.Answer(IDCANCEL);
    Window box = ExpectBox(run, {InstallerTitle(kName), Text2(kName), "exclamation", {IDOK}});
    box.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), kDeclined);
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
}

// Without its background window the run ends right there with message 1:
// no administrator check, no question about the installed product (message
// 52 would come next), no licence; the extraction directory goes, and the
// exit code says that nothing was installed.
TEST(Startup, ABackgroundWindowThatCannotBeCreatedEndsTheRunAtOnce) {
    ScratchDir package("no-background");
    std::string exe = BuildInstaller(
        package,
        {{"install.inf", SetupScript(kName, {"Startrtf=start.rtf", u8"StartTitle=利用規約"})},
         {"start.rtf", ReadFileBytes(SourcePath("sample/start.rtf"))}});
    ASSERT_FALSE(exe.empty());
    UninstallEntry entry(kName);
    BackgroundWindowRefused refused;
    ASSERT_TRUE(refused.active());
    std::set<std::string> before = ExtractionDirs();
    Process run = Driver::Start(exe);
    Window box = ExpectBox(run, {InstallerTitle(kName), kText1, "exclamation", {IDOK}});
    EXPECT_EQ(box.owner, nullptr);
    box.Answer(IDOK);
    for (const Window& window : run.WatchUntilExit(3000))
        EXPECT_FALSE(window.IsMessageBox()) << window.Describe();
    EXPECT_EQ(run.WaitExit(), kFailed);
    EXPECT_EQ(NewExtractionDirs(before), std::vector<std::string>());
    EXPECT_TRUE(UninstallEntryExists(kName));
}
