#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/program_folder_rules.h"

namespace {

// "ソ" is 0x83 0x5C and "表" 0x95 0x5C: their trail byte is a backslash.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";
const char kPrograms[] = "C:\\Start Menu\\Programs\\";
const char kInstallDir[] = "C:\\Program Files\\Orbelo\\";

using Strings = std::vector<std::string>;

Strings ToStrings(const StringList& list) {
    Strings out;
    for (size_t i = 0; i < list.Count(); ++i) out.push_back(list[i].c_str());
    return out;
}

// SetupConfig holds 2,500 group entries: too large for the stack.
std::unique_ptr<SetupConfig> NewConfig() {
    std::unique_ptr<SetupConfig> config(new SetupConfig);
    config->ProgramName = "Orbelo";
    return config;
}

void AddGroupItem(SetupConfig& config, const char* name, const char* target, const char* args) {
    config.GroupItems.names.Add(name);
    config.GroupItems.targets.Add(target);
    config.GroupItems.args.Add(args);
}

void AddNumbered(SetupConfig& config, int group, const char* name, const char* target) {
    GroupItem& item = config.NumberedGroupItems[kMaxGroupItems * (group - 1) +
                                                config.NumberedGroupItemCounts[group - 1]++];
    item.name = name;
    item.target = target;
    if (group > config.NumberedGroupCount) config.NumberedGroupCount = group;
}

// "folder|name|target|args" for every entry that gets a shortcut.
Strings Entries(const SetupConfig& config) {
    Strings out;
    ForEachGroupEntry(
        config, [&](const char* folder, const char* name, const char* target, const char* args) {
            out.push_back(std::string(folder) + "|" + name + "|" + target + "|" + args);
        });
    return out;
}

}  // namespace

TEST(ProgramFolderRules, NestedFoldersAreCreatedOuterFirstAndRemovedDeepestFirst) {
    struct Case {
        std::string folder;
        Strings created;
        Strings removed;
    } cases[] = {
        {"Orbelo", {"P\\Orbelo"}, {"P\\Orbelo"}},
        {"A\\B\\C", {"P\\A", "P\\A\\B", "P\\A\\B\\C"}, {"P\\A\\B\\C", "P\\A\\B", "P\\A"}},
        {"Quorvane " + kSo + "\\" + kHyo,
         {"P\\Quorvane " + kSo, "P\\Quorvane " + kSo + "\\" + kHyo},
         {"P\\Quorvane " + kSo + "\\" + kHyo, "P\\Quorvane " + kSo}},
        // A doubled or leading backslash gives no empty level.
        {"A\\\\B", {"P\\A", "P\\A\\\\B"}, {"P\\A\\\\B", "P\\A\\", "P\\A"}},
        {"\\A", {"P\\\\A"}, {"P\\\\A"}},
        {"", {}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToStrings(FolderCreationPaths("P\\", c.folder.c_str())), c.created) << c.folder;
        EXPECT_EQ(ToStrings(FolderRemovalPaths("P\\", c.folder.c_str())), c.removed) << c.folder;
    }
}

TEST(ProgramFolderRules, FoldersAndEntriesFollowTheGroupFolderRule) {
    auto config = NewConfig();
    AddGroupItem(*config, "Orbelo", "Orbelo.exe", "");
    AddNumbered(*config, 1, "Tool", "tool.exe");
    AddNumbered(*config, 2, "Help", "help.chm");
    AddNumbered(*config, 2, "Web", "web.url");

    // Without ProgramFolder_Group: one folder named after the product, the
    // numbered groups ignored.
    config->ProgramFolders.Add("");
    config->ProgramFolders.Add("Tools");
    config->ProgramFolders.Add("Docs");
    EXPECT_FALSE(UsesNamedFolders(*config));
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), Strings{"Orbelo"});
    EXPECT_EQ(Entries(*config), Strings{"Orbelo|Orbelo|Orbelo.exe|"});

    config->ProgramFolders[0] = "Quorvane\\Orbelo";
    EXPECT_TRUE(UsesNamedFolders(*config));
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)),
              (Strings{"Quorvane\\Orbelo", "Tools", "Docs"}));
    EXPECT_EQ(Entries(*config),
              (Strings{"Quorvane\\Orbelo|Orbelo|Orbelo.exe|", "Tools|Tool|tool.exe|",
                       "Docs|Help|help.chm|", "Docs|Web|web.url|"}));

    // A numbered group without its folder key: shortcuts into the Programs
    // folder itself, which is neither created nor removed.
    config->ProgramFolders[1] = "";
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), (Strings{"Quorvane\\Orbelo", "Docs"}));
    EXPECT_EQ(Entries(*config)[1], "|Tool|tool.exe|");
    // ... also when the folder list is shorter than the groups.
    config->ProgramFolders = StringList();
    config->ProgramFolders.Add("Q");
    EXPECT_EQ(Entries(*config), (Strings{"Q|Orbelo|Orbelo.exe|", "|Tool|tool.exe|",
                                         "|Help|help.chm|", "|Web|web.url|"}));

    // No folder list at all counts as an empty ProgramFolder_Group.
    config->ProgramFolders = StringList();
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), Strings{"Orbelo"});
    EXPECT_EQ(Entries(*config), Strings{"Orbelo|Orbelo|Orbelo.exe|"});
}

// Folders and shortcut names that would leave the Programs folder (or the
// desktop) get nothing: no folder to create, open or remove, no shortcut to
// make or delete. Nested names and "表" with its 0x5C trail byte stay.
TEST(ProgramFolderRules, NamesOutsideTheProgramsFolderGetNothing) {
    auto config = NewConfig();
    AddGroupItem(*config, "Orbelo", "Orbelo.exe", "");
    AddGroupItem(*config, "..\\..\\Startup\\Orbelo", "Orbelo.exe", "");
    AddGroupItem(*config, ("Sub\\" + kHyo).c_str(), "Orbelo.exe", "");
    AddNumbered(*config, 1, "Tool", "tool.exe");
    AddNumbered(*config, 2, "Help", "help.chm");
    AddNumbered(*config, 2, "C:\\Help", "help.chm");
    AddNumbered(*config, 3, "Web", "web.url");
    AddNumbered(*config, 4, "Doc", "doc.txt");
    config->ProgramFolders.Add(("Quorvane\\" + kSo).c_str());
    config->ProgramFolders.Add("..\\Startup");
    config->ProgramFolders.Add("Docs");
    config->ProgramFolders.Add("\\\\server\\share");
    config->ProgramFolders.Add("A\\...\\B");
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), (Strings{"Quorvane\\" + kSo, "Docs"}));
    EXPECT_EQ(Entries(*config), (Strings{"Quorvane\\" + kSo + "|Orbelo|Orbelo.exe|",
                                         "Quorvane\\" + kSo + "|Sub\\" + kHyo + "|Orbelo.exe|",
                                         "Docs|Help|help.chm|"}));

    // The group folder climbing out takes the [Group] entries with it.
    config->ProgramFolders[0] = "C:\\Users\\Public";
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), Strings{"Docs"});
    EXPECT_EQ(Entries(*config), Strings{"Docs|Help|help.chm|"});

    // So does a product name that climbs out, where it names the folder.
    config->ProgramFolders = StringList();
    config->ProgramName = "..\\Orbelo";
    EXPECT_EQ(ToStrings(ProgramFolderNames(*config)), Strings{});
    EXPECT_EQ(Entries(*config), Strings{});

    const char* const outside[] = {"a.exe,..\\A", "a.exe,..\\..\\Startup\\A,a.ico", "a.exe,C:\\A",
                                   "a.exe,\\A"};
    for (const char* entry : outside) {
        ShortcutLink link;
        EXPECT_FALSE(DesktopShortcut(entry, "C:\\Users\\Public\\Desktop", kInstallDir, &link))
            << entry;
    }
}

TEST(ProgramFolderRules, GroupShortcutTargetsArgumentsAndIcons) {
    struct Case {
        std::string folder, name, target, args, unInstallIcon;
        std::string link, arguments, icon;
    } cases[] = {
        {"Quorvane " + kSo, "Orbelo", "Orbelo.exe", "", "uninstall.ico",
         "C:\\Start Menu\\Programs\\Quorvane " + kSo + "\\Orbelo.lnk", "", ""},
        {"Quorvane", "Remove", "install.exe", "-u -p \"%s\"", "uninstall.ico",
         "C:\\Start Menu\\Programs\\Quorvane\\Remove.lnk", "-u -p \"C:\\Program Files\\Orbelo\"",
         std::string(kInstallDir) + "uninstall.ico"},
        // The uninstaller template without an icon set: the target's icon.
        {"Q", "Remove", "install.exe", "-u -p \"%s\"", "",
         "C:\\Start Menu\\Programs\\Q\\Remove.lnk", "-u -p \"C:\\Program Files\\Orbelo\"", ""},
        // Other templates never get the uninstall icon.
        {"Q", "Open", "view.exe", "/open %s\\doc.txt 100%%", "uninstall.ico",
         "C:\\Start Menu\\Programs\\Q\\Open.lnk", "/open C:\\Program Files\\Orbelo\\doc.txt 100%",
         ""},
        // Script text is not a printf format: the second %s and %d stay.
        {"Q", "Odd", "a.exe", "%s %s %d %n", "", "C:\\Start Menu\\Programs\\Q\\Odd.lnk",
         "C:\\Program Files\\Orbelo %s %d %n", ""},
        {"", "Top", "a.exe", "", "", "C:\\Start Menu\\Programs\\Top.lnk", "", ""},
        {"Q", kHyo + "示", "a.exe", "", "", "C:\\Start Menu\\Programs\\Q\\" + kHyo + "示.lnk", "",
         ""},
    };
    for (const Case& c : cases) {
        ShortcutLink link =
            GroupShortcut(kPrograms, c.folder.c_str(), c.name.c_str(), c.target.c_str(),
                          c.args.c_str(), kInstallDir, c.unInstallIcon.c_str());
        EXPECT_EQ(link.linkPath.c_str(), c.link) << c.name;
        EXPECT_EQ(link.target.c_str(), std::string(kInstallDir) + c.target) << c.name;
        EXPECT_EQ(link.arguments.c_str(), c.arguments) << c.name;
        EXPECT_EQ(link.workingDirectory.c_str(), std::string("C:\\Program Files\\Orbelo"))
            << c.name;
        EXPECT_EQ(link.iconPath.c_str(), c.icon) << c.name;
    }
    // D drops a real backslash only, never the trail byte of "ソ".
    std::string japaneseDir = "C:\\" + kSo + "\\";
    ShortcutLink link =
        GroupShortcut(kPrograms, "Q", "R", "a.exe", "-u -p \"%s\"", japaneseDir.c_str(), "u.ico");
    EXPECT_EQ(link.workingDirectory.c_str(), "C:\\" + kSo);
    EXPECT_EQ(link.arguments.c_str(), "-u -p \"C:\\" + kSo + "\"");
}

TEST(ProgramFolderRules, DesktopEntriesSplitAtTheirCommas) {
    const char kDesktop[] = "C:\\Users\\Public\\Desktop";
    struct Case {
        std::string entry, installDir;
        bool made;
        std::string target, link, icon;
    } cases[] = {
        {"Orbelo.exe,Orbelo", kInstallDir, true, "Orbelo.exe", "Orbelo", ""},
        {"Orbelo.exe,Orbelo,orbelo.ico", kInstallDir, true, "Orbelo.exe", "Orbelo",
         std::string(kInstallDir) + "orbelo.ico"},
        // The icon is taken from the installation directory, with a backslash
        // added when the stored directory lacks one.
        {"Orbelo.exe,Orbelo,icons\\o.ico", "C:\\Orbelo", true, "Orbelo.exe", "Orbelo",
         "C:\\Orbelo\\icons\\o.ico"},
        // Everything after the second comma is the icon.
        {"a.exe,A,b.ico,c", kInstallDir, true, "a.exe", "A", std::string(kInstallDir) + "b.ico,c"},
        {"a.exe," + kSo + "ft," + kHyo + ".ico", kInstallDir, true, "a.exe", kSo + "ft",
         std::string(kInstallDir) + kHyo + ".ico"},
        {"Orbelo.exe,", kInstallDir, false, "", "", ""},
        {"Orbelo.exe", kInstallDir, false, "", "", ""},
        {"Orbelo.exe,,o.ico", kInstallDir, false, "", "", ""},
        {",Name", kInstallDir, true, "", "Name", ""},
    };
    for (const Case& c : cases) {
        ShortcutLink link;
        ASSERT_EQ(DesktopShortcut(c.entry.c_str(), kDesktop, c.installDir.c_str(), &link), c.made)
            << c.entry;
        if (!c.made) continue;
        EXPECT_EQ(link.target.c_str(), c.installDir + c.target) << c.entry;
        EXPECT_EQ(link.linkPath.c_str(), std::string(kDesktop) + "\\" + c.link + ".lnk") << c.entry;
        EXPECT_EQ(link.iconPath.c_str(), c.icon) << c.entry;
        EXPECT_EQ(link.arguments.c_str(), std::string()) << c.entry;
        // The desktop link works in the directory as stored.
        EXPECT_EQ(link.workingDirectory.c_str(), c.installDir) << c.entry;
    }
    ShortcutLink link;
    ASSERT_TRUE(DesktopShortcut("a.exe,A", "C:\\", kInstallDir, &link));
    EXPECT_EQ(link.linkPath.c_str(), std::string("C:\\A.lnk"));
}
