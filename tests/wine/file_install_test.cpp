// The file installation on the real file system and registry: the copy list
// with its package forms, the system files, the start of the product and the
// deletion at restart.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>
#include <vector>

#include "engine/file_install_win.h"
#include "package/copy_progress_dialog_win.h"
#include "package/setup_config.h"
#include "tests/wine/engine_fixture.h"

using namespace engine_test;

namespace {

std::string SystemDirectory() {
    char path[MAX_PATH] = "";
    GetSystemDirectoryA(path, sizeof path);
    return std::string(path) + "\\";
}

std::string CopyFailure(const std::string& name) {
    return "ファイル（" + name + "）のコピーができません。";
}

class FileInstallTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Config().SilentMode = true;  // the dialog stays out of sight
        Config().ScriptDir = (base() + "pkg\\").c_str();
        Config().InstallDir = (base() + "inst\\").c_str();
        ASSERT_TRUE(CreateDirectoryA(Config().ScriptDir.c_str(), nullptr));
        dialog_ = CopyProgressDialog::Create(nullptr);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override {
        CopyProgressDialog::Destroy(dialog_);
        for (const std::string& path : systemFiles_) DeleteFileA(path.c_str());
        EngineTest::TearDown();
    }
    void Package(const std::string& name, const std::string& bytes) {
        WriteFileBytes(Config().ScriptDir.c_str() + name, bytes);
    }
    void List(const char* name, const char* code) {
        Config().CopyList.Add(name);
        Config().CopyTypes.Add(code);
    }
    std::string Installed(const std::string& name) {
        return ReadFileBytes(Config().InstallDir.c_str() + name);
    }
    // A file of the system directory that the test may create; removed at the end.
    std::string SystemFile(const std::string& name) {
        std::string path = SystemDirectory() + name;
        DeleteFileA(path.c_str());
        systemFiles_.push_back(path);
        return path;
    }

    CopyProgressDialog* dialog_ = nullptr;
    std::vector<std::string> systemFiles_;
};

}  // namespace

TEST_F(FileInstallTest, CopyListTakesEachEntryFromItsPackageForm) {
    Package("a.ex_", LiteralSzdd("compressed a"));
    Package("b.txt", "plain b");
    Package("other.da_", LiteralSzdd("named package file"));
    Package("fallback.dat", "own plain name");
    Package("skip.txt", "never installed");
    ASSERT_TRUE(CreateDirectoryA((Config().ScriptDir.c_str() + std::string("sub")).c_str(), nullptr));
    Package("sub\\c.tx_", LiteralSzdd("in a subdirectory"));
    Package("miss_ok.txt", "");
    Package("both.tx_", LiteralSzdd("compressed wins"));
    Package("both.txt", "plain loses");
    List("a.exe", "1");
    List("b.txt", "1");
    List("opt.dat", "0");
    List("named.dat", "9,other.da_");
    List("fallback.dat", "9,absent.da_");
    List("skip.txt", "N");
    List("sub\\c.txt", "1");
    List("both.txt", "1");

    BoxAnswerer boxes;
    EXPECT_TRUE(CopyListedFiles(*dialog_));
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(Installed("a.exe"), "compressed a");
    EXPECT_EQ(Installed("b.txt"), "plain b");
    EXPECT_FALSE(Exists(Config().InstallDir.c_str() + std::string("opt.dat")));
    EXPECT_EQ(Installed("named.dat"), "named package file");
    EXPECT_EQ(Installed("fallback.dat"), "own plain name");
    EXPECT_FALSE(Exists(Config().InstallDir.c_str() + std::string("skip.txt")));
    EXPECT_EQ(Installed("sub\\c.txt"), "in a subdirectory");
    EXPECT_EQ(Installed("both.txt"), "compressed wins");
}

TEST_F(FileInstallTest, EveryFailingEntryHasItsMessageAndTheOthersAreStillCopied) {
    Package("first.txt", "1");
    Package("last.txt", "3");
    Package("opt.da_", LiteralSzdd("o"));
    List("first.txt", "1");
    List("miss1.dll", "1");
    List("miss2.dll", "2");
    List("gone.dat", "0");  // optional and absent: no message
    List("opt.dat", "0");
    List("last.txt", "1");

    BoxAnswerer boxes;
    EXPECT_FALSE(CopyListedFiles(*dialog_));
    EXPECT_EQ(boxes.Texts(),
              (std::vector<std::string>{CopyFailure("miss1.dll"), CopyFailure("miss2.dll")}));
    EXPECT_EQ(Installed("first.txt"), "1");
    EXPECT_EQ(Installed("opt.dat"), "o");
    EXPECT_EQ(Installed("last.txt"), "3");
}

TEST_F(FileInstallTest, FailedCopyOfAPresentFileIsReportedWithTheListName) {
    Package("locked.txt", "new");
    ASSERT_TRUE(CreateDirectoryA(Config().InstallDir.c_str(), nullptr));
    WriteFileBytes(Config().InstallDir.c_str() + std::string("locked.txt"), "old");
    HANDLE holder = CreateFileA((Config().InstallDir.c_str() + std::string("locked.txt")).c_str(),
                                GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    bool failed = false;
    BoxAnswerer boxes;
    EXPECT_LT(CopyListedFile(*dialog_, "locked.txt", "locked.tx_", true, &failed), 0);
    CloseHandle(holder);
    EXPECT_TRUE(failed);
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{CopyFailure("locked.txt")});
}

TEST_F(FileInstallTest, InstallerRunningFromTheInstallationDirectoryLeavesFilesInPlace) {
    // The package is the installation directory, written in another case.
    std::string dir = base() + "inst\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    WriteFileBytes(dir + "a.exe", std::string(300, 'a'));
    Config().ScriptDir = dir.c_str();
    std::string upper = dir;
    for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    Config().InstallDir = upper.c_str();
    Config().DstNeedSpace = 600;

    bool failed = false;
    BoxAnswerer boxes;
    EXPECT_EQ(CopyListedFile(*dialog_, "a.exe", "a.ex_", false, &failed), -1);
    EXPECT_FALSE(failed);
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ReadFileBytes(dir + "a.exe"), std::string(300, 'a'));
    EXPECT_EQ(dialog_->Percent(), 50);
}

TEST_F(FileInstallTest, SystemFilesAreExpandedIntoTheSystemDirectory) {
    std::string one = SystemFile("engtest_one.dll");
    std::string two = SystemFile("engtest_two.dll");
    Package("engtest_one.dl_", LiteralSzdd("system one"));
    Package("engtest_two.dl_", LiteralSzdd("system two"));
    Config().SystemFiles.Add("engtest_one.dll");
    Config().SystemFiles.Add("engtest_two.dll");
    BoxAnswerer boxes;
    EXPECT_TRUE(CopySystemFiles(*dialog_));
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ReadFileBytes(one), "system one");
    EXPECT_EQ(ReadFileBytes(two), "system two");
}

TEST_F(FileInstallTest, FirstSystemFileFailureStopsWithTheFullPackagePath) {
    enum Setup { kPackageMissing, kOnlyPlainForm, kAlreadyInSystemDirectory };
    for (Setup setup : {kPackageMissing, kOnlyPlainForm, kAlreadyInSystemDirectory}) {
        std::string one = SystemFile("engtest_one.dll");
        std::string two = SystemFile("engtest_two.dll");
        std::string packaged = Config().ScriptDir.c_str() + std::string("engtest_one.dl_");
        DeleteFileA(packaged.c_str());
        DeleteFileA((Config().ScriptDir.c_str() + std::string("engtest_one.dll")).c_str());
        if (setup == kOnlyPlainForm) Package("engtest_one.dll", "plain");
        if (setup == kAlreadyInSystemDirectory) {
            Package("engtest_one.dl_", LiteralSzdd("new"));
            WriteFileBytes(one, "belongs to someone else");
        }
        Package("engtest_two.dl_", LiteralSzdd("two"));
        Config().SystemFiles.Clear();
        Config().SystemFiles.Add("engtest_one.dll");
        Config().SystemFiles.Add("engtest_two.dll");

        BoxAnswerer boxes;
        EXPECT_FALSE(CopySystemFiles(*dialog_)) << setup;
        EXPECT_EQ(boxes.Texts(), std::vector<std::string>{CopyFailure(packaged)}) << setup;
        EXPECT_FALSE(Exists(two)) << setup;
        if (setup == kAlreadyInSystemDirectory) {
            EXPECT_EQ(ReadFileBytes(one), "belongs to someone else");
        } else {
            EXPECT_FALSE(Exists(one)) << setup;
        }
    }
}

// A system file that the uninstallation of an earlier version left for
// deletion at restart is the new version's to replace: at once, its
// deletion taken back, or, while something holds it, at the restart. Any
// other record stays, and no temporary file is left beside it.
TEST_F(FileInstallTest, ASystemFileLeavingAtRestartIsReplacedByTheNewVersion) {
    PendingRenameGuard guard;
    for (bool held : {false, true}) {
        SCOPED_TRACE(held ? "held open" : "free");
        registry_test::DeleteValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue);
        std::string one = SystemFile("engtest_one.dll");
        std::string other = base() + "other.txt";
        WriteFileBytes(one, "old version");
        WriteFileBytes(other, "other");
        ASSERT_TRUE(MoveFileExA(other.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
        ASSERT_TRUE(ScheduleDeleteAtRestart(one.c_str()));
        Package("engtest_one.dl_", LiteralSzdd("new version"));
        Config().SystemFiles.Clear();
        Config().SystemFiles.Add("engtest_one.dll");
        HANDLE file = held ? CreateFileA(one.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr)
                           : INVALID_HANDLE_VALUE;

        BoxAnswerer boxes;
        EXPECT_TRUE(CopySystemFiles(*dialog_));
        EXPECT_TRUE(boxes.Texts().empty());
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        std::vector<std::string> pending = PendingOperations();
        EXPECT_TRUE(HasDeletion(pending, other));
        EXPECT_FALSE(HasDeletion(pending, one));
        if (!held) {
            EXPECT_EQ(ReadFileBytes(one), "new version");
            EXPECT_EQ(pending.size(), 1u);  // the other deletion (its empty pair end dropped)
            WIN32_FIND_DATAA found;
            HANDLE search = FindFirstFileA((SystemDirectory() + "Ins*.tmp").c_str(), &found);
            EXPECT_EQ(search, INVALID_HANDLE_VALUE) << found.cFileName;
            if (search != INVALID_HANDLE_VALUE) FindClose(search);
        } else {
            // The new version waits beside the old one for the restart.
            EXPECT_EQ(ReadFileBytes(one), "old version");
            ASSERT_EQ(pending.size(), 4u);
            EXPECT_EQ(ReadFileBytes(pending[2].substr(4)), "new version");
            EXPECT_EQ(lstrcmpiA(pending[3].c_str(), ("!\\??\\" + one).c_str()), 0) << pending[3];
            DeleteFileA(pending[2].substr(4).c_str());
        }
    }
}

// Runs only as the program that RunMainProgram starts (see below): records
// where it runs from and in which directory.
TEST(EngineChild, RecordWhereItRuns) {
    const char* marker = getenv("ENGINE_CHILD_MARKER");
    if (!marker) GTEST_SKIP() << "only runs when started by RunMainProgram";
    char module[MAX_PATH] = "", directory[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, module, sizeof module);
    GetCurrentDirectoryA(sizeof directory, directory);
    WriteFileBytes(marker, std::string(module) + "|" + directory);
}

TEST_F(FileInstallTest, MainProgramStartsFromItsFullPathInTheInstallationDirectory) {
    // The installation directory has a blank; a program planted where an
    // unquoted command line would lead Windows first must not run.
    std::string dir = base() + "Prog Dir\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    ASSERT_TRUE(CopyFileA(self, (dir + "app.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(self, (base() + "Prog.exe").c_str(), FALSE));
    Config().InstallDir = dir.c_str();
    Config().MainProgram = "app.exe";
    std::string marker = base() + "marker.txt";
    SetEnvironmentVariableA("GTEST_FILTER", "EngineChild.*");
    SetEnvironmentVariableA("ENGINE_CHILD_MARKER", marker.c_str());
    {
        BoxAnswerer boxes;
        RunMainProgram();
        SetEnvironmentVariableA("GTEST_FILTER", nullptr);
        SetEnvironmentVariableA("ENGINE_CHILD_MARKER", nullptr);
        EXPECT_TRUE(boxes.Texts().empty());
    }
    std::string seen;
    for (int waited = 0; waited < 30000; waited += 50) {
        seen = ReadFileBytes(marker);
        if (seen.find('|') != std::string::npos) break;
        Sleep(50);
    }
    size_t bar = seen.find('|');
    ASSERT_NE(bar, std::string::npos) << "the program did not run";
    EXPECT_EQ(lstrcmpiA(seen.substr(0, bar).c_str(), (dir + "app.exe").c_str()), 0) << seen;
    EXPECT_EQ(lstrcmpiA(seen.substr(bar + 1).c_str(), dir.substr(0, dir.size() - 1).c_str()), 0)
        << seen;
    // Let the child end before its files are removed.
    Sleep(500);
}

TEST_F(FileInstallTest, MainProgramThatCannotStartIsReportedWithTheStopIcon) {
    Config().InstallDir = (base() + "inst\\").c_str();
    Config().MainProgram = "missing.exe";
    BoxAnswerer boxes;
    RunMainProgram();
    std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, base() + "inst\\missing.exeを起動できません。");
    EXPECT_EQ(seen[0].icon, LoadIconA(nullptr, IDI_HAND));
}


TEST_F(FileInstallTest, NtRecordsTheDeletionForTheNextRestart) {
    PendingRenameGuard guard;
    std::string file = base() + "scheduled.tmp";
    WriteFileBytes(file, "x");
    EXPECT_TRUE(ScheduleDeleteAtRestart(file.c_str()));
    EXPECT_TRUE(HasDeletion(PendingOperations(), file));
    EXPECT_TRUE(Exists(file));  // only at the restart

    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_TRUE(ScheduleSelfDeleteAtRestart());
    EXPECT_TRUE(HasDeletion(PendingOperations(), self));
}

TEST_F(FileInstallTest, OtherPlatformsAddNulLinesToWininit) {
    PendingRenameGuard guard;
    std::vector<std::string> before = PendingOperations();
    std::string wininit = base() + "WININIT.INI";
    WriteFileBytes(wininit, "[Rename]\r\nNUL=C:\\OTHER.TMP\r\n");
    std::string first = base() + "a.tmp";
    std::string second = base() + "long file name.tmp";
    WriteFileBytes(first, "1");
    WriteFileBytes(second, "2");
    char shortSecond[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(second.c_str(), shortSecond, sizeof shortSecond), 0u);
    ASSERT_STRNE(shortSecond, second.c_str());
    char shortFirst[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(first.c_str(), shortFirst, sizeof shortFirst), 0u);

    EXPECT_TRUE(ScheduleDeleteAtRestart(first.c_str(), false, wininit.c_str()));
    EXPECT_TRUE(ScheduleDeleteAtRestart(second.c_str(), false, wininit.c_str()));
    EXPECT_EQ(ReadFileBytes(wininit), "[Rename]\r\nNUL=C:\\OTHER.TMP\r\nNUL=" +
                                          std::string(shortFirst) + "\r\nNUL=" + shortSecond +
                                          "\r\n");
    EXPECT_EQ(PendingOperations(), before);

    // No WININIT.INI yet: it is created.
    std::string fresh = base() + "fresh.ini";
    EXPECT_TRUE(ScheduleDeleteAtRestart(first.c_str(), false, fresh.c_str()));
    EXPECT_EQ(ReadFileBytes(fresh), "[Rename]\r\nNUL=" + std::string(shortFirst) + "\r\n");
}
