// SetupConfig: the one process-wide record of what this run installs or
// removes. The setup script fills the product fields; the start-up fills the
// run-mode fields and the paths. Every text is a code page 932 byte string.
#pragma once

#include <stdint.h>

#include "base/text.h"

constexpr int kMaxNumberedGroups = 50;   // [Group1] .. [Group50]
constexpr int kMaxGroupItems = 50;       // keys kept per numbered group
constexpr int kMaxDesktopIcons = 256;    // IconOnDesktop0 .. IconOnDesktop255
constexpr int kMaxUninstallKeys = 256;   // HCU0..HCU255, HLM0..HLM255

// One shortcut of a group section: key = name, value = target[,arguments].
struct GroupItem {
    ByteString name;
    ByteString target;
    ByteString args;
};

// Three parallel lists for [Group], as the script gives them.
struct GroupItemLists {
    StringList names;
    StringList targets;
    StringList args;
};

struct SetupConfig {
    // Run mode, set by the start-up.
    bool UninstallMode = false;
    bool SilentMode = false;
    int32_t ParentProcess = 0;  // handle value of the first uninstaller instance

    // Paths. ScriptDir and InstallDir end in a backslash; ExtractDir has none.
    ByteString ScriptDir;
    ByteString InstallDir;
    ByteString ExtractDir;
    StringList ExtractedFiles;  // full paths, in the order written

    // [Setup]
    ByteString ProgramName;
    ByteString InstallPath;
    ByteString MainProgram;
    ByteString UnInstallerProgram;
    ByteString UninstallArgsFormat;
    uint32_t DstNeedSpace = 0;  // bytes
    StringList DesktopIcons;
    ByteString Readme;
    ByteString Startrtf;
    ByteString StartTitle;
    ByteString StartDlgOK;
    ByteString StartDlgCancel;
    ByteString RegUninstall;
    int32_t InstDispProgramMenu = 1;
    int32_t UnInstDispProgramMenu = 1;
    int32_t UnInstSilentMode = 0;
    ByteString UnInstallIcon;
    int32_t Run = 0;
    ByteString RegCreateDirectory;
    StringList ProgramFolders;  // [0] for [Group], [k] for [Groupk]

    // [Source]
    StringList CopyList;
    StringList CopyTypes;
    StringList SystemFiles;

    // [Group], [Group1] .. [Group50]
    GroupItemLists GroupItems;
    int NumberedGroupCount = 0;
    int NumberedGroupItemCounts[kMaxNumberedGroups] = {};
    // Entry k of group g (both from 0) sits at kMaxGroupItems * g + k.
    GroupItem NumberedGroupItems[kMaxNumberedGroups * kMaxGroupItems];

    // [UnInstall]
    StringList UninstallUserKeys;
    StringList UninstallMachineKeys;
};

// The process-wide record.
SetupConfig& Config();
