// Field-by-field comparison of the script fields of two SetupConfig records,
// for tests that read one script by two routes.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "package/setup_config.h"

inline void ExpectSameList(const StringList& a, const StringList& b, const char* field) {
    ASSERT_EQ(a.Count(), b.Count()) << field;
    for (size_t i = 0; i < a.Count(); ++i) {
        EXPECT_STREQ(a[i].c_str(), b[i].c_str()) << field << "[" << i << "]";
    }
}

inline void ExpectSameScriptFields(const SetupConfig& a, const SetupConfig& b) {
#define SAME_TEXT(f) EXPECT_STREQ(a.f.c_str(), b.f.c_str()) << #f
#define SAME_NUMBER(f) EXPECT_EQ(a.f, b.f) << #f
#define SAME_LIST(f) ExpectSameList(a.f, b.f, #f)
    SAME_TEXT(ProgramName);
    SAME_TEXT(InstallPath);
    SAME_TEXT(MainProgram);
    SAME_TEXT(UnInstallerProgram);
    SAME_TEXT(UninstallArgsFormat);
    SAME_NUMBER(DstNeedSpace);
    SAME_LIST(DesktopIcons);
    SAME_TEXT(Readme);
    SAME_TEXT(Startrtf);
    SAME_TEXT(StartTitle);
    SAME_TEXT(StartDlgOK);
    SAME_TEXT(StartDlgCancel);
    SAME_TEXT(RegUninstall);
    SAME_NUMBER(InstDispProgramMenu);
    SAME_NUMBER(UnInstDispProgramMenu);
    SAME_NUMBER(UnInstSilentMode);
    SAME_TEXT(UnInstallIcon);
    SAME_NUMBER(Run);
    SAME_TEXT(RegCreateDirectory);
    SAME_LIST(ProgramFolders);
    SAME_LIST(CopyList);
    SAME_LIST(CopyTypes);
    SAME_LIST(SystemFiles);
    SAME_LIST(GroupItems.names);
    SAME_LIST(GroupItems.targets);
    SAME_LIST(GroupItems.args);
    SAME_NUMBER(NumberedGroupCount);
    for (int g = 0; g < kMaxNumberedGroups; ++g) {
        ASSERT_EQ(a.NumberedGroupItemCounts[g], b.NumberedGroupItemCounts[g]) << "group " << g;
        for (int k = 0; k < a.NumberedGroupItemCounts[g]; ++k) {
            const GroupItem& x = a.NumberedGroupItems[kMaxGroupItems * g + k];
            const GroupItem& y = b.NumberedGroupItems[kMaxGroupItems * g + k];
            EXPECT_STREQ(x.name.c_str(), y.name.c_str()) << g << "/" << k;
            EXPECT_STREQ(x.target.c_str(), y.target.c_str()) << g << "/" << k;
            EXPECT_STREQ(x.args.c_str(), y.args.c_str()) << g << "/" << k;
        }
    }
    SAME_LIST(UninstallUserKeys);
    SAME_LIST(UninstallMachineKeys);
#undef SAME_TEXT
#undef SAME_NUMBER
#undef SAME_LIST
}
