// The setup script reader on the shipped script and on scripts that probe its
// rules, read through the portable profile reader.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"
#include "tests/common/tricky_script.h"

namespace {

std::unique_ptr<SetupConfig> Read(const std::string& text, bool uninstallMode = false,
                                  bool isNt = true) {
    IniProfile profile;
    profile.Parse(text.data(), text.size());
    std::unique_ptr<SetupConfig> config(new SetupConfig);
    ReadSetupScriptFrom(profile, uninstallMode, isNt, *config);
    return config;
}

std::vector<std::string> Items(const StringList& list) {
    std::vector<std::string> items;
    for (size_t i = 0; i < list.Count(); ++i) items.push_back(list[i].c_str());
    return items;
}

}  // namespace

TEST(SetupScriptTest, ShippedScriptGivesTheDocumentedRecord) {
    IniProfile profile;
    ASSERT_TRUE(profile.LoadFile(INSTALLER_SOURCE_DIR "/sample/install.inf"));
    std::unique_ptr<SetupConfig> c(new SetupConfig);
    ReadSetupScriptFrom(profile, false, true, *c);

    EXPECT_STREQ(c->ProgramName.c_str(), "オルベロ");
    EXPECT_STREQ(c->InstallPath.c_str(), "Program Files\\Quorvane\\Orbelo_Sample");
    EXPECT_STREQ(c->MainProgram.c_str(), "Orbelo.exe");
    EXPECT_STREQ(c->UnInstallerProgram.c_str(), "install.exe");
    EXPECT_STREQ(c->UninstallArgsFormat.c_str(), "-u -p \"%s\"");
    EXPECT_EQ(c->DstNeedSpace, 1326862u);
    EXPECT_EQ(Items(c->DesktopIcons), std::vector<std::string>{"Orbelo.exe,オルベロ"});
    EXPECT_STREQ(c->RegUninstall.c_str(), "オルベロ");
    EXPECT_EQ(c->InstDispProgramMenu, 0);
    EXPECT_EQ(c->UnInstDispProgramMenu, 0);
    EXPECT_EQ(c->UnInstSilentMode, 0);
    EXPECT_EQ(c->Run, 0);
    EXPECT_STREQ(c->UnInstallIcon.c_str(), "uninstall.ico");
    EXPECT_STREQ(c->Startrtf.c_str(), "start.rtf");
    EXPECT_STREQ(c->StartTitle.c_str(), "利用規約");
    EXPECT_STREQ(c->StartDlgOK.c_str(), "承諾する");
    EXPECT_STREQ(c->StartDlgCancel.c_str(), "承諾しない");
    EXPECT_STREQ(c->RegCreateDirectory.c_str(), "Software\\Quorvane\\Orbelo_Sample\\Install");
    EXPECT_TRUE(c->Readme.IsEmpty());
    EXPECT_EQ(Items(c->CopyList),
              (std::vector<std::string>{"Orbelo.exe", "Orbelo.chm", "install.inf", "install.exe",
                                        "uninstall.ico", "start.rtf"}));
    EXPECT_EQ(Items(c->CopyTypes), std::vector<std::string>(6, "1"));
    EXPECT_TRUE(c->SystemFiles.IsEmpty());
    EXPECT_EQ(Items(c->GroupItems.names), (std::vector<std::string>{"オルベロ", "オルベロの削除"}));
    EXPECT_EQ(Items(c->GroupItems.targets),
              (std::vector<std::string>{"Orbelo.exe", "install.exe"}));
    EXPECT_EQ(Items(c->GroupItems.args), (std::vector<std::string>{"", "-u -p \"%s\""}));
    EXPECT_EQ(c->NumberedGroupCount, 0);
    EXPECT_EQ(Items(c->ProgramFolders), std::vector<std::string>{"Quorvane オルベロ"});
    EXPECT_EQ(Items(c->UninstallUserKeys),
              std::vector<std::string>{"Software\\Quorvane\\Orbelo_Sample"});
    EXPECT_TRUE(c->UninstallMachineKeys.IsEmpty());
}

TEST(SetupScriptTest, SourceCodesPerModeAndPlatform) {
    const std::string script =
        "[Source]\r\na.dll=7\r\nb.txt=5\r\nc.txt=70\r\nd.txt=N\r\ne.txt=9,x.tx_\r\nf.txt=0\r\n";
    struct Case {
        bool uninstallMode;
        bool isNt;
        std::vector<std::string> copyList, copyTypes, systemFiles;
    } cases[] = {
        {false, true, {"c.txt", "d.txt", "e.txt", "f.txt"}, {"70", "N", "9,x.tx_", "0"}, {"a.dll"}},
        {false, false, {"c.txt", "d.txt", "e.txt", "f.txt"}, {"70", "N", "9,x.tx_", "0"}, {}},
        {true,
         true,
         {"b.txt", "c.txt", "d.txt", "e.txt", "f.txt"},
         {"1", "70", "N", "9,x.tx_", "0"},
         {"a.dll"}},
        {true,
         false,
         {"a.dll", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"},
         {"7", "1", "70", "N", "9,x.tx_", "0"},
         {}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<SetupConfig> config = Read(script, c.uninstallMode, c.isNt);
        SCOPED_TRACE(std::string(c.uninstallMode ? "uninstaller" : "installer") +
                     (c.isNt ? " NT" : " 9x"));
        EXPECT_EQ(Items(config->CopyList), c.copyList);
        EXPECT_EQ(Items(config->CopyTypes), c.copyTypes);
        EXPECT_EQ(Items(config->SystemFiles), c.systemFiles);
    }
}

// Names that would reach outside the installation directory (or the system
// directory) are in no list, in either mode; subdirectories and wildcards
// inside stay, "表" with its 0x5C trail byte included.
TEST(SetupScriptTest, SourceNamesOutsideTheirDirectoryAreInNoList) {
    const std::string script =
        "[Source]\r\n..\\v.txt=1\r\nok\\a.txt=1\r\nC:\\v.txt=5\r\n\\v.txt=N\r\nC:v.txt=N\r\n"
        "sub\\..\\..\\v=0\r\nsub\\*.tmp=N\r\n..\\*.dat=N\r\n..\\s.dll=7\r\n"
        "\\\\server\\share\\v=9,v\r\n...\\v=1\r\n表\\x.txt=1\r\nb.dll=7\r\n";
    for (bool uninstallMode : {false, true}) {
        for (bool isNt : {true, false}) {
            SCOPED_TRACE(std::string(uninstallMode ? "uninstaller" : "installer") +
                         (isNt ? " NT" : " 9x"));
            std::unique_ptr<SetupConfig> config = Read(script, uninstallMode, isNt);
            std::vector<std::string> copyList = {"ok\\a.txt", "sub\\*.tmp", "表\\x.txt"};
            if (uninstallMode && !isNt) copyList.push_back("b.dll");
            EXPECT_EQ(Items(config->CopyList), copyList);
            EXPECT_EQ(config->CopyTypes.Count(), config->CopyList.Count());
            EXPECT_EQ(Items(config->SystemFiles),
                      isNt ? std::vector<std::string>{"b.dll"} : std::vector<std::string>{});
        }
    }
}

// count lines "filler<n>=1" whose names of 100 bytes fill a key list of
// more than 65,535 bytes from about 650 lines on.
std::string LongKeyLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        std::string name = "filler" + std::to_string(i);
        name.resize(100, 'x');
        lines += name + "=1\r\n";
    }
    return lines;
}

TEST(SetupScriptTest, ScriptRules) {
    struct Case {
        const char* what;
        std::string script;
        std::function<void(const SetupConfig&)> check;
    } cases[] = {
        {"desktop icons stop at the first gap",
         "[Setup]\r\nIconOnDesktop0=a.exe,A\r\nIconOnDesktop2=c.exe,C\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(Items(c.DesktopIcons), std::vector<std::string>{"a.exe,A"});
         }},
        {"an empty desktop icon ends the list too",
         "[Setup]\r\nIconOnDesktop0=a.exe,A\r\nIconOnDesktop1=\r\nIconOnDesktop2=c.exe,C\r\n",
         [](const SetupConfig& c) { EXPECT_EQ(c.DesktopIcons.Count(), 1u); }},
        {"uninstall keys are probed across gaps",
         "[UnInstall]\r\nHCU0=a\r\nHCU1=\r\nHCU2=b\r\nHCU255=c\r\nHCU256=d\r\nHLM9=m\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(Items(c.UninstallUserKeys), (std::vector<std::string>{"a", "b", "c"}));
             EXPECT_EQ(Items(c.UninstallMachineKeys), std::vector<std::string>{"m"});
         }},
        {"uninstall keys are found whatever the letter case of their names",
         "[UnInstall]\r\nhcu3=x\r\n Hlm4 = y \r\nHCU5\r\nHCU5=z\r\nHCU05=w\r\nHLM256=v\r\n",
         [](const SetupConfig& c) {
             // HCU5 is the first key of its name and has no value.
             EXPECT_EQ(Items(c.UninstallUserKeys), std::vector<std::string>{"x"});
             EXPECT_EQ(Items(c.UninstallMachineKeys), std::vector<std::string>{"y"});
         }},
        {"uninstall keys behind a key list too long for its buffer are still found",
         "[UnInstall]\r\n" + LongKeyLines(700) + "HCU1=late\r\nHLM0=last\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(Items(c.UninstallUserKeys), std::vector<std::string>{"late"});
             EXPECT_EQ(Items(c.UninstallMachineKeys), std::vector<std::string>{"last"});
         }},
        {"numbered groups stop at the first missing one",
         "[Setup]\r\nProgramFolder_Group=F\r\nProgramFolder_Group3=F3\r\n"
         "[Group1]\r\na=a.exe\r\n[Group3]\r\nc=c.exe\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(c.NumberedGroupCount, 1);
             EXPECT_EQ(c.NumberedGroupItemCounts[0], 1);
             EXPECT_EQ(c.NumberedGroupItemCounts[2], 0);
             EXPECT_EQ(Items(c.ProgramFolders), (std::vector<std::string>{"F", ""}));
         }},
        {"a numbered group without keys ends the search",
         "[Group1]\r\n; only a comment\r\n[Group2]\r\nb=b.exe\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(c.NumberedGroupCount, 0);
             EXPECT_EQ(c.ProgramFolders.Count(), 1u);
         }},
        {"RegUninstall defaults to ProgramName", "[Setup]\r\nProgramName=P\r\n",
         [](const SetupConfig& c) { EXPECT_STREQ(c.RegUninstall.c_str(), "P"); }},
        {"RegUninstall given", "[Setup]\r\nProgramName=P\r\nRegUninstall=R\r\n",
         [](const SetupConfig& c) { EXPECT_STREQ(c.RegUninstall.c_str(), "R"); }},
        {"uninstaller without comma", "[Setup]\r\nUnInstallerProgram=uninst.exe\r\n",
         [](const SetupConfig& c) {
             EXPECT_STREQ(c.UnInstallerProgram.c_str(), "uninst.exe");
             EXPECT_TRUE(c.UninstallArgsFormat.IsEmpty());
         }},
        {"uninstaller split at the first comma only",
         "[Setup]\r\nUnInstallerProgram=ソフト表.exe,-u,-p \"%s\"\r\n",
         [](const SetupConfig& c) {
             EXPECT_STREQ(c.UnInstallerProgram.c_str(), "ソフト表.exe");
             EXPECT_STREQ(c.UninstallArgsFormat.c_str(), "-u,-p \"%s\"");
         }},
        {"defaults of an empty script", "",
         [](const SetupConfig& c) {
             EXPECT_EQ(c.InstDispProgramMenu, 1);
             EXPECT_EQ(c.UnInstDispProgramMenu, 1);
             EXPECT_EQ(c.UnInstSilentMode, 0);
             EXPECT_EQ(c.Run, 0);
             EXPECT_EQ(c.DstNeedSpace, 0u);
             EXPECT_EQ(Items(c.ProgramFolders), std::vector<std::string>{""});
             EXPECT_TRUE(c.RegUninstall.IsEmpty());
         }},
        {"numbers read like atol",
         "[Setup]\r\nDstNeedSpace= -12abc\r\nInstDispProgramMenu=x1\r\nRun=+3\r\n"
         "UnInstSilentMode=\"1\"\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(c.DstNeedSpace, 4294967284u);
             EXPECT_EQ(c.InstDispProgramMenu, 0);
             EXPECT_EQ(c.Run, 3);
             EXPECT_EQ(c.UnInstSilentMode, 1);
         }},
        {"group values without comma and with trail bytes",
         "[Group]\r\n表=ソ.exe,\"%s\\表\"\r\nNoComma=x.exe\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(Items(c.GroupItems.targets), (std::vector<std::string>{"ソ.exe", "x.exe"}));
             EXPECT_EQ(Items(c.GroupItems.args), (std::vector<std::string>{"\"%s\\表\"", ""}));
         }},
        {"over-long values are cut to their buffers",
         "[Setup]\r\nProgramName=" + std::string(70000, 'p') + "\r\n[Group]\r\ng=" +
             std::string(300, 'g') + ",x\r\n[Source]\r\ns=" + std::string(300, '1') + "\r\n",
         [](const SetupConfig& c) {
             EXPECT_EQ(c.ProgramName.Length(), 65534u);
             EXPECT_EQ(c.GroupItems.targets[0].Length(), 259u);  // the comma was cut off
             EXPECT_TRUE(c.GroupItems.args[0].IsEmpty());
             EXPECT_EQ(c.CopyTypes[0].Length(), 255u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.check(*Read(c.script));
    }
}

TEST(SetupScriptTest, OverfullNumberedGroupsNeverTouchOtherSlots) {
    std::string script;
    for (int g = 1; g <= 51; ++g) {
        script += "[Group" + std::to_string(g) + "]\r\n";
        int keys = g == 1 ? 60 : 1;
        for (int k = 0; k < keys; ++k) {
            script += "n" + std::to_string(g) + "_" + std::to_string(k) + "=t.exe,a\r\n";
        }
    }
    std::unique_ptr<SetupConfig> c = Read(script);
    EXPECT_EQ(c->NumberedGroupCount, kMaxNumberedGroups);
    EXPECT_EQ(c->NumberedGroupItemCounts[0], kMaxGroupItems);
    EXPECT_STREQ(c->NumberedGroupItems[kMaxGroupItems - 1].name.c_str(), "n1_49");
    // Group 2's first slot holds its own key, not key 50 of group 1.
    EXPECT_STREQ(c->NumberedGroupItems[kMaxGroupItems].name.c_str(), "n2_0");
    EXPECT_EQ(c->NumberedGroupItemCounts[1], 1);
    EXPECT_STREQ(c->NumberedGroupItems[kMaxGroupItems * 49].name.c_str(), "n50_0");
    EXPECT_EQ(c->ProgramFolders.Count(), 51u);
}

TEST(SetupScriptTest, ReadingAgainRebuildsTheLists) {
    IniProfile profile;
    std::string text = TrickyScript();
    profile.Parse(text.data(), text.size());
    std::unique_ptr<SetupConfig> c(new SetupConfig);
    ReadSetupScriptFrom(profile, false, true, *c);
    ReadSetupScriptFrom(profile, false, true, *c);
    EXPECT_EQ(c->CopyList.Count(), 5u);  // h.txt has no "=", b.txt is 5, a.dll 7
    EXPECT_EQ(c->DesktopIcons.Count(), 2u);
    EXPECT_EQ(c->GroupItems.names.Count(), 2u);
    EXPECT_EQ(c->NumberedGroupCount, 2);
    EXPECT_EQ(c->NumberedGroupItemCounts[0], kMaxGroupItems);
    EXPECT_EQ(c->ProgramFolders.Count(), 3u);
    EXPECT_EQ(Items(c->UninstallUserKeys), (std::vector<std::string>{"a", "b", "c"}));
}
