#include "package/setup_script.h"

#include "package/relative_name.h"

namespace {

const char kSetup[] = "Setup";

ByteString Numbered(const char* prefix, int number) {
    ByteString name(prefix);
    name.AppendNumber(number);
    return name;
}

ByteString SetupText(const ProfileSource& source, const char* key) {
    return source.GetValue(kSetup, key, "", kScriptValueSize);
}

int32_t SetupNumber(const ProfileSource& source, const char* key, const char* def) {
    return ParseLong(source.GetValue(kSetup, key, def, kScriptValueSize).c_str());
}

void ReadSource(const ProfileSource& source, bool uninstallMode, bool isNtPlatform,
                SetupConfig& config) {
    StringList keys = source.GetKeyNames("Source", kScriptValueSize);
    for (size_t i = 0; i < keys.Count(); ++i) {
        const ByteString& key = keys[i];
        // A name that reaches outside the installation directory (or the
        // system directory) is in no list, so neither the installation nor
        // the uninstallation ever copies, deletes or removes through it.
        if (!StaysInside(key.c_str())) continue;
        ByteString code = source.GetValue("Source", key.c_str(), "0", kSourceValueSize);
        // Whole-value comparisons: "70" is an ordinary code, not a system file.
        bool systemFile = isNtPlatform && code == "7";
        if (!uninstallMode) {
            if (code != "5" && code != "7") {
                config.CopyList.Add(key);
                config.CopyTypes.Add(code);
            }
            if (systemFile) config.SystemFiles.Add(key);
        } else if (systemFile) {
            config.SystemFiles.Add(key);
        } else {
            // An entry that was never copied is still removed, and its
            // removal is reported like that of any required file.
            if (code == "5") code = "1";
            config.CopyList.Add(key);
            config.CopyTypes.Add(code);
        }
    }
}

void ReadGroup(const ProfileSource& source, SetupConfig& config) {
    StringList keys = source.GetKeyNames("Group", kScriptValueSize);
    for (size_t i = 0; i < keys.Count(); ++i) {
        ByteString value = source.GetValue("Group", keys[i].c_str(), "0", kGroupValueSize);
        ByteString target, args;
        SplitFileAndArgs(value, &target, &args);
        config.GroupItems.names.Add(keys[i]);
        config.GroupItems.targets.Add(target);
        config.GroupItems.args.Add(args);
    }
}

void ReadNumberedGroups(const ProfileSource& source, SetupConfig& config) {
    config.NumberedGroupCount = 0;
    for (int g = 0; g < kMaxNumberedGroups; ++g) config.NumberedGroupItemCounts[g] = 0;
    for (int g = 0; g < kMaxNumberedGroups; ++g) {
        ByteString section = Numbered("Group", g + 1);
        StringList keys = source.GetKeyNames(section.c_str(), kScriptValueSize);
        if (keys.IsEmpty()) break;
        // Each group owns kMaxGroupItems slots of the table; keys beyond them
        // are ignored rather than written into the next group's slots.
        size_t kept = keys.Count() < static_cast<size_t>(kMaxGroupItems)
                          ? keys.Count()
                          : static_cast<size_t>(kMaxGroupItems);
        for (size_t i = 0; i < kept; ++i) {
            ByteString value =
                source.GetValue(section.c_str(), keys[i].c_str(), "0", kGroupValueSize);
            GroupItem& item =
                config.NumberedGroupItems[kMaxGroupItems * g + config.NumberedGroupItemCounts[g]];
            item.name = keys[i];
            SplitFileAndArgs(value, &item.target, &item.args);
            ++config.NumberedGroupItemCounts[g];
        }
        ++config.NumberedGroupCount;
    }
}

// The plain [Setup] values, in the script's documented order.
struct TextField {
    const char* key;
    ByteString SetupConfig::*field;
};
const TextField kTextFields[] = {
    {"ProgramName", &SetupConfig::ProgramName},
    {"InstallPath", &SetupConfig::InstallPath},
    {"MainProgram", &SetupConfig::MainProgram},
    {"Readme", &SetupConfig::Readme},
    {"Startrtf", &SetupConfig::Startrtf},
    {"StartTitle", &SetupConfig::StartTitle},
    {"StartDlgOK", &SetupConfig::StartDlgOK},
    {"StartDlgCancel", &SetupConfig::StartDlgCancel},
    {"RegUninstall", &SetupConfig::RegUninstall},
    {"UnInstallIcon", &SetupConfig::UnInstallIcon},
    {"RegCreateDirectory", &SetupConfig::RegCreateDirectory},
};

// The [Setup] numbers with their defaults.
struct NumberField {
    const char* key;
    const char* def;
    int32_t SetupConfig::*field;
};
const NumberField kNumberFields[] = {
    {"InstDispProgramMenu", "1", &SetupConfig::InstDispProgramMenu},
    {"UnInstDispProgramMenu", "1", &SetupConfig::UnInstDispProgramMenu},
    {"UnInstSilentMode", "0", &SetupConfig::UnInstSilentMode},
    {"Run", "0", &SetupConfig::Run},
};

// Every number is probed: gaps in the uninstall keys are allowed.
void ReadUninstallKeys(const ProfileSource& source, const char* prefix, StringList& keys) {
    for (int n = 0; n < kMaxUninstallKeys; ++n) {
        ByteString key = source.GetValue("UnInstall", Numbered(prefix, n).c_str(), "",
                                         kScriptValueSize);
        if (!key.IsEmpty()) keys.Add(key);
    }
}

void ClearScriptFields(SetupConfig& config) {
    config.CopyList.Clear();
    config.CopyTypes.Clear();
    config.SystemFiles.Clear();
    config.DesktopIcons.Clear();
    config.ProgramFolders.Clear();
    config.GroupItems.names.Clear();
    config.GroupItems.targets.Clear();
    config.GroupItems.args.Clear();
    for (GroupItem& item : config.NumberedGroupItems) {
        item.name.Clear();
        item.target.Clear();
        item.args.Clear();
    }
    config.UninstallUserKeys.Clear();
    config.UninstallMachineKeys.Clear();
}

}  // namespace

void SplitFileAndArgs(const ByteString& value, ByteString* file, ByteString* rest) {
    int comma = MbFind(value.c_str(), ',');
    if (comma < 0) {
        *file = value;
        rest->Clear();
    } else {
        *file = value.Left(static_cast<size_t>(comma));
        *rest = value.Mid(static_cast<size_t>(comma) + 1);
    }
}

// The derived defaults (RegUninstall from ProgramName, the folder count from
// the numbered groups) need the fields they derive from to be read first.
void ReadSetupScriptFrom(const ProfileSource& source, bool uninstallMode, bool isNtPlatform,
                         SetupConfig& config) {
    ClearScriptFields(config);

    ReadSource(source, uninstallMode, isNtPlatform, config);

    for (const TextField& text : kTextFields) config.*text.field = SetupText(source, text.key);
    for (const NumberField& number : kNumberFields) {
        config.*number.field = SetupNumber(source, number.key, number.def);
    }
    if (config.RegUninstall.IsEmpty()) config.RegUninstall = config.ProgramName;

    SplitFileAndArgs(SetupText(source, "UnInstallerProgram"), &config.UnInstallerProgram,
                     &config.UninstallArgsFormat);
    config.DstNeedSpace = ParseByteCount(SetupText(source, "DstNeedSpace").c_str());

    for (int n = 0; n < kMaxDesktopIcons; ++n) {
        ByteString icon = SetupText(source, Numbered("IconOnDesktop", n).c_str());
        if (icon.IsEmpty()) break;  // numbered without gaps
        config.DesktopIcons.Add(icon);
    }

    ReadGroup(source, config);
    ReadNumberedGroups(source, config);

    // One folder per group, [Group] included; an absent name stays empty.
    for (int j = 0; j <= config.NumberedGroupCount; ++j) {
        ByteString key("ProgramFolder_Group");
        if (j) key.AppendNumber(j);
        config.ProgramFolders.Add(SetupText(source, key.c_str()));
    }

    ReadUninstallKeys(source, "HCU", config.UninstallUserKeys);
    ReadUninstallKeys(source, "HLM", config.UninstallMachineKeys);
}
