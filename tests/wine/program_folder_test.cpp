// The program folder, its shortcuts and the desktop icons in the prefix's
// real shell folders: what each shortcut holds when read back, the folder
// rules, the removal deepest first, and the pause before removal.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/program_folder_win.h"
#include "package/setup_config.h"
#include "tests/wine/engine_fixture.h"
#include "tests/wine/registry_probe.h"

using namespace engine_test;
using namespace registry_test;

namespace {

std::string FolderPath(int csidl) {
    char path[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, 0, path))) return "";
    return path;
}

void AddGroupItem(const char* name, const char* target, const char* args) {
    Config().GroupItems.names.Add(name);
    Config().GroupItems.targets.Add(target);
    Config().GroupItems.args.Add(args);
}

void AddNumbered(int group, const std::string& name, const char* target) {
    SetupConfig& config = Config();
    GroupItem& item = config.NumberedGroupItems[kMaxGroupItems * (group - 1) +
                                                config.NumberedGroupItemCounts[group - 1]++];
    item.name = name.c_str();
    item.target = target;
    if (group > config.NumberedGroupCount) config.NumberedGroupCount = group;
}

class ProgramFolderTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        ClearFolderConfig();
        tag_ = "RegTest" + std::to_string(GetCurrentProcessId());
        programs_ = FolderPath(CSIDL_COMMON_PROGRAMS);
        desktop_ = FolderPath(CSIDL_COMMON_DESKTOPDIRECTORY);
        ASSERT_FALSE(programs_.empty());
        ASSERT_FALSE(desktop_.empty());
        installDir_ = base() + "inst ソ\\";
        ASSERT_TRUE(CreateDirectoryA(installDir_.c_str(), nullptr));
        for (const char* file : {"Orbelo.exe", "install.exe", "tool.exe", "top.exe"}) {
            WriteFileBytes(installDir_ + file, "program");
        }
        SetupConfig& config = Config();
        config.InstallDir = installDir_.c_str();
        config.SilentMode = true;
        config.UnInstallIcon = "uninstall.ico";
    }
    void TearDown() override {
        for (const std::string& path : cleanup_) {
            if (IsDirectory(path)) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        }
        ClearFolderConfig();
        EngineTest::TearDown();
    }
    static void ClearFolderConfig() {
        SetupConfig& config = Config();
        config.ProgramFolders.Clear();
        config.GroupItems = GroupItemLists();
        for (int g = 0; g < kMaxNumberedGroups; ++g) config.NumberedGroupItemCounts[g] = 0;
        config.NumberedGroupCount = 0;
        config.DesktopIcons.Clear();
        config.UnInstallIcon = "";
        config.InstDispProgramMenu = 1;
        config.UnInstDispProgramMenu = 1;
    }
    // A path below the Programs folder, removed after the test.
    std::string Programs(const std::string& relative) {
        std::string path = programs_ + "\\" + relative;
        cleanup_.push_back(path);
        return path;
    }
    std::string Desktop(const std::string& name) {
        std::string path = desktop_ + "\\" + name;
        cleanup_.push_back(path);
        return path;
    }
    std::string D() const { return installDir_.substr(0, installDir_.size() - 1); }

    void ExpectLink(const std::string& path, const std::string& target, const std::string& args,
                    const std::string& icon) {
        SCOPED_TRACE(path);
        LinkContents link = ReadLink(path);
        ASSERT_TRUE(link.loaded);
        EXPECT_EQ(link.target, installDir_ + target);
        EXPECT_EQ(link.arguments, args);
        EXPECT_EQ(link.workingDirectory, D());
        EXPECT_EQ(link.iconPath, icon);
    }

    std::string tag_, programs_, desktop_, installDir_;
    std::vector<std::string> cleanup_;
};

}  // namespace

TEST_F(ProgramFolderTest, TheShellFoldersAreTheAllUsersOnesOnTheNtFamily) {
    EXPECT_EQ(ProgramsFolderPath().c_str(), programs_);
    EXPECT_EQ(DesktopFolderPath().c_str(), desktop_);
}

TEST_F(ProgramFolderTest, NamedAndNumberedGroupsGetTheirFoldersAndShortcuts) {
    std::string outer = Programs(tag_ + " Quorvane");
    std::string folder = tag_ + " Quorvane\\オルベロ";
    std::string tools = Programs(tag_ + " ツール");
    std::string top = Programs(tag_ + " top.lnk");
    SetupConfig& config = Config();
    config.ProgramFolders.Add(folder.c_str());
    config.ProgramFolders.Add((tag_ + " ツール").c_str());
    config.ProgramFolders.Add("");  // [Group2] straight into the Programs folder
    AddGroupItem("オルベロ", "Orbelo.exe", "");
    AddGroupItem("オルベロの削除", "install.exe", "-u -p \"%s\"");
    AddGroupItem("表示", "tool.exe", "/d %s %s 50%%");
    AddNumbered(1, "Tool", "tool.exe");
    AddNumbered(2, tag_ + " top", "top.exe");

    EXPECT_EQ(CreateProgramFolder(), 1);
    std::string inner = programs_ + "\\" + folder;
    EXPECT_TRUE(IsDirectory(outer));
    EXPECT_TRUE(IsDirectory(inner));
    ExpectLink(inner + "\\オルベロ.lnk", "Orbelo.exe", "", "");
    ExpectLink(inner + "\\オルベロの削除.lnk", "install.exe", "-u -p \"" + D() + "\"",
               installDir_ + "uninstall.ico");
    ExpectLink(inner + "\\表示.lnk", "tool.exe", "/d " + D() + " %s 50%", "");
    ExpectLink(tools + "\\Tool.lnk", "tool.exe", "", "");
    ExpectLink(top, "top.exe", "", "");

    EXPECT_EQ(RemoveProgramFolder(), 1);
    EXPECT_FALSE(Exists(outer));
    EXPECT_FALSE(Exists(tools));
    EXPECT_FALSE(Exists(top));
    EXPECT_TRUE(IsDirectory(programs_));
}

TEST_F(ProgramFolderTest, WithoutAGroupFolderTheProductNamesTheFolderAndNumberedGroupsAreIgnored) {
    std::string product = tag_ + " オルベロ";
    std::string tools = Programs(tag_ + " Tools");
    std::string folder = Programs(product);
    SetupConfig& config = Config();
    config.ProgramName = product.c_str();
    config.ProgramFolders.Add("");
    config.ProgramFolders.Add((tag_ + " Tools").c_str());
    AddGroupItem("オルベロ", "Orbelo.exe", "");
    AddNumbered(1, "Tool", "tool.exe");

    CreateProgramFolder();
    ExpectLink(folder + "\\オルベロ.lnk", "Orbelo.exe", "", "");
    EXPECT_FALSE(Exists(tools));

    // What another product keeps where the numbered group would go stays.
    ASSERT_TRUE(CreateDirectoryA(tools.c_str(), nullptr));
    WriteFileBytes(tools + "\\Tool.lnk", "someone else's");
    RemoveProgramFolder();
    EXPECT_FALSE(Exists(folder));
    EXPECT_EQ(ReadFileBytes(tools + "\\Tool.lnk"), "someone else's");
}

TEST_F(ProgramFolderTest, AFolderTheUserFilledStaysWithWhatTheUserPutThere) {
    std::string outer = Programs(tag_ + " A");
    std::string inner = outer + "\\B\\C";
    Config().ProgramFolders.Add((tag_ + " A\\B\\C").c_str());
    AddGroupItem("オルベロ", "Orbelo.exe", "");
    CreateProgramFolder();
    ASSERT_TRUE(Exists(inner + "\\オルベロ.lnk"));
    WriteFileBytes(outer + "\\B\\notes.txt", "mine");

    RemoveProgramFolder();
    EXPECT_FALSE(Exists(inner));
    EXPECT_EQ(ReadFileBytes(outer + "\\B\\notes.txt"), "mine");
    EXPECT_TRUE(IsDirectory(outer));
}

TEST_F(ProgramFolderTest, DesktopIconsPointIntoTheInstallationDirectory) {
    std::string plain = Desktop(tag_ + " オルベロ.lnk");
    std::string withIcon = Desktop(tag_ + " ツール.lnk");
    SetupConfig& config = Config();
    config.DesktopIcons.Add(("Orbelo.exe," + tag_ + " オルベロ").c_str());
    config.DesktopIcons.Add(("tool.exe," + tag_ + " ツール,icons\\ツール.ico").c_str());
    config.DesktopIcons.Add("no-name.exe");

    CreateDesktopIcons();
    for (const auto& expected : {std::make_pair(plain, std::string("Orbelo.exe")),
                                 std::make_pair(withIcon, std::string("tool.exe"))}) {
        LinkContents link = ReadLink(expected.first);
        ASSERT_TRUE(link.loaded) << expected.first;
        EXPECT_EQ(link.target, installDir_ + expected.second);
        EXPECT_EQ(link.arguments, "");
        // Desktop icons work in the directory as stored, backslash included.
        EXPECT_EQ(link.workingDirectory, installDir_);
    }
    EXPECT_EQ(ReadLink(plain).iconPath, "");
    EXPECT_EQ(ReadLink(withIcon).iconPath, installDir_ + "icons\\ツール.ico");
    EXPECT_FALSE(Exists(desktop_ + "\\no-name.exe.lnk"));

    RemoveDesktopIcons();
    EXPECT_FALSE(Exists(plain));
    EXPECT_FALSE(Exists(withIcon));
}

TEST_F(ProgramFolderTest, RemovalPausesTwoSecondsOnlyWhenItMayShowTheFolder) {
    // No folder exists, so no window opens; the pause is there all the same.
    Config().ProgramFolders.Add((tag_ + " absent").c_str());
    struct Case {
        bool silent;
        int display;
        bool pauses;
    } cases[] = {{false, 1, true}, {true, 1, false}, {false, 0, false}};
    for (const Case& c : cases) {
        Config().SilentMode = c.silent;
        Config().UnInstDispProgramMenu = c.display;
        DWORD start = GetTickCount();
        RemoveProgramFolder();
        DWORD took = GetTickCount() - start;
        if (c.pauses) {
            EXPECT_GE(took, 1900u) << c.silent << c.display;
        } else {
            EXPECT_LT(took, 1000u) << c.silent << c.display;
        }
    }
}

// A folder name that is a program's file in the Programs folder is never
// started by showing the folder, at installation or at uninstallation; and
// names that climb out of the Programs folder make nothing outside it.
TEST_F(ProgramFolderTest, FolderWindowsNeverStartAFileOfTheFoldersName) {
    std::string marker = base() + "started.txt";
    std::string program = Programs(tag_ + ".bat");
    WriteFileBytes(program, "@echo started> \"" + marker + "\"\r\n");
    SetupConfig& config = Config();
    config.ProgramFolders.Add((tag_ + ".bat").c_str());
    config.GroupItems.names.Add("Orbelo");
    config.GroupItems.targets.Add("Orbelo.exe");
    config.GroupItems.args.Add("");
    config.SilentMode = false;

    CreateProgramFolder();
    RemoveProgramFolder();  // pauses two seconds after "showing" the folder
    Sleep(1000);
    EXPECT_FALSE(Exists(marker)) << "the file named like the folder was started";
    EXPECT_TRUE(Exists(program));

    // Climbing out: the shortcut would land in the Start menu itself.
    std::string outside = programs_.substr(0, programs_.rfind('\\')) + "\\" + tag_;
    cleanup_.push_back(outside);
    cleanup_.push_back(outside + ".lnk");
    config.SilentMode = true;
    config.ProgramFolders[0] = ("..\\" + tag_).c_str();
    CreateProgramFolder();
    config.ProgramFolders[0] = "Quorvane";
    config.GroupItems.names[0] = ("..\\..\\" + tag_).c_str();
    cleanup_.push_back(Programs("Quorvane"));
    CreateProgramFolder();
    EXPECT_FALSE(Exists(outside));
    EXPECT_FALSE(Exists(outside + ".lnk"));
}
