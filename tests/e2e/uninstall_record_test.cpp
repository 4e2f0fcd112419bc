// What the uninstallation removes of the directories above the installed
// files: exactly the levels that this installation created, as its record
// says, whatever an earlier failed installation left behind and whatever
// the script's [UnInstall] keys hold.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/installer_kit.h"
#include "tests/e2e/registration_kit.h"
#include "tests/e2e/uninstall_kit.h"

using namespace e2e;

namespace {

// "表" and "ソ" end in the byte 0x5C in code page 932.
const char kName[] = u8"ソフト表示記録";

Product RecordProduct(const std::string& installKey, const std::string& sections = "") {
    Product product;
    product.name = kName;
    product.setup = {u8"InstallPath=e2e\\record-default", "MainProgram=Orbelo.exe",
                     "UnInstallerProgram=install.exe,-u -p \"%s\"", "InstDispProgramMenu=0",
                     "UnInstDispProgramMenu=0", "RegCreateDirectory=" + installKey};
    product.sources = "Orbelo.exe=1\r\n";
    product.sections = sections;
    product.files = {{"Orbelo.exe", "the program"}};
    return product;
}

ProductTraces RecordTraces(const std::string& installKey, const std::vector<std::string>& dirs) {
    ProductTraces traces;
    traces.name = kName;
    traces.mainProgram = "Orbelo.exe";
    traces.installKey = installKey;
    traces.directories = dirs;
    return traces;
}

// Runs the uninstaller from the Uninstall entry to its end; returns the exit
// code of its relaunched copy.
long Uninstall() {
    Process run = StartUninstaller(kName);
    return AcceptUninstallation(run, kName);
}

}  // namespace

// An installation that failed half-way left its record of two created
// levels; the next one went into directories that existed, so it recorded
// nothing and the old record stayed. Those two levels are not the ones of
// the installation directory: they stay, even when empty.
TEST(UninstallRecord, ARecordOfOtherLevelsRemovesNoDirectoryThatExistedBefore) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    const std::string key = "Software\\Quorvane\\E2E_Record\\Install";
    ScratchDir broken("record-broken-package");
    ScratchDir package("record-package");
    ScratchDir target("record-target");
    std::string old = target.File("old\\level");
    std::string existing = target.File("Tools\\App");
    RegistrationGuard registration(RecordTraces(key, {old, existing}));

    Product failing = RecordProduct(key);
    failing.sources += "missing.dat=1\r\n";  // not in the package
    std::string brokenExe = BuildProduct(broken, failing);
    ASSERT_FALSE(brokenExe.empty());
    Process first = Driver::Start(brokenExe);
    Window ask = first.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, old);
    ask.Press(IDOK);
    for (const std::string& expected : {Text7("missing.dat"), Text10(kName)}) {
        Window box = first.WaitMessageBox();
        ASSERT_TRUE(box.found());
        EXPECT_EQ(box.text, expected);
        box.Answer(IDOK);
    }
    EXPECT_EQ(first.WaitExit(), kFailed);
    EXPECT_EQ(MachineString(key, "CreateDirectory"), "old\\level");

    ASSERT_TRUE(CreateDirectoryA(target.File("Tools").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), nullptr));
    std::string exe = BuildProduct(package, RecordProduct(key));
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(InstallInto(exe, existing, kName));
    EXPECT_EQ(MachineString(key, "CreateDirectory"), "old\\level");

    EXPECT_EQ(Uninstall(), 0);
    EXPECT_FALSE(FileExists(existing + "\\Orbelo.exe"));
    EXPECT_TRUE(FileExists(existing));
    EXPECT_TRUE(FileExists(target.File("Tools")));
    EXPECT_FALSE(MachineKeyExists(key));
}

// The script's [UnInstall] list names the key that holds the Install key:
// the record of the two created levels is read before that key goes, and
// both levels go with the files.
TEST(UninstallRecord, AListedKeyHoldingTheInstallKeyStillLetsTheCreatedLevelsGo) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    const std::string productKey = "Software\\Quorvane\\E2E_Listed";
    const std::string key = productKey + "\\Install";
    ScratchDir package("listed-package");
    ScratchDir target("listed-target");
    std::string dir = target.File(u8"新規\\製品");
    RegistrationGuard registration(RecordTraces(key, {dir}));
    std::string exe =
        BuildProduct(package, RecordProduct(key, "\r\n[UnInstall]\r\nHLM0=" + productKey + "\r\n"));
    ASSERT_FALSE(exe.empty());
    ASSERT_TRUE(InstallInto(exe, dir, kName));
    EXPECT_EQ(MachineString(key, "CreateDirectory"), Cp932FromUtf8(u8"新規\\製品"));

    EXPECT_EQ(Uninstall(), 0);
    EXPECT_FALSE(FileExists(Cp932FromUtf8(dir)));
    EXPECT_FALSE(FileExists(Cp932FromUtf8(target.File(u8"新規"))));
    EXPECT_TRUE(FileExists(target.path()));
    EXPECT_FALSE(MachineKeyExists(productKey));
}

// A destination refused half-way (a level whose name cannot be created
// under one that the attempt made) takes back what it made; the next
// attempt creates and records its own levels, and the uninstallation then
// leaves nothing of either behind.
TEST(UninstallRecord, ALevelMadeByARefusedDestinationDoesNotOutliveTheProduct) {
    WineMenuBuilderOff menus;
    RestartRecordGuard restart;
    const std::string key = "Software\\Quorvane\\E2E_Attempts\\Install";
    ScratchDir package("attempts-package");
    ScratchDir target("attempts-target");
    std::string refused = target.File("first\\bad|name");
    std::string dir = target.File("second\\product");
    RegistrationGuard registration(RecordTraces(key, {target.File("first"), dir}));
    std::string exe = BuildProduct(package, RecordProduct(key));
    ASSERT_FALSE(exe.empty());

    Process run = Driver::Start(exe);
    Window ask = run.WaitWindowTitled(kDirCaption);
    ASSERT_TRUE(ask.found());
    ask.SetText(1000, refused);
    ask.Press(IDOK);
    Window box = run.WaitMessageBox();
    ASSERT_TRUE(box.found());
    EXPECT_EQ(box.text, u8"この名前のディレクトリは作成できません。");
    box.Answer(IDOK);
    EXPECT_FALSE(FileExists(target.File("first")));
    ask.SetText(1000, dir);
    ask.Press(IDOK);
    Window done = run.WaitMessageBox();
    ASSERT_TRUE(done.found());
    EXPECT_EQ(done.text, Text8(kName));
    done.Answer(IDOK);
    EXPECT_EQ(run.WaitExit(), 0);
    EXPECT_EQ(MachineString(key, "CreateDirectory"), "second\\product");

    EXPECT_EQ(Uninstall(), 0);
    EXPECT_FALSE(FileExists(target.File("first")));
    EXPECT_FALSE(FileExists(target.File("second")));
    EXPECT_TRUE(FileExists(target.path()));
}
