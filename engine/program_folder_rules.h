// The paths of the program folder, its shortcuts and the desktop icons, as
// the script describes them. Installation and uninstallation compute the same
// paths from the same script: nothing about the shortcuts is recorded.
// Nothing here touches Windows; the callers supply the shell folder paths.
#pragma once

#include <stddef.h>

#include "base/text.h"
#include "package/relative_name.h"
#include "package/setup_config.h"

// Everything one shortcut file holds. All strings are code page 932.
struct ShortcutLink {
    ByteString linkPath;  // full path of the .lnk file
    ByteString target;
    ByteString arguments;
    ByteString workingDirectory;
    ByteString iconPath;  // empty: the target's own icon
};

// True when [Group] has a folder of its own (ProgramFolder_Group is set).
// Otherwise every [Group] shortcut goes into a folder named after the
// product, and the numbered groups are not used at all.
bool UsesNamedFolders(const SetupConfig& config);

// The folders of the program folder, relative to the Programs folder, in
// index order: every ProgramFolders entry, or ProgramName alone. Empty names
// (a numbered group without a ProgramFolder_Group<k> key, whose shortcuts go
// straight into the Programs folder) are left out: they name the Programs
// folder itself, which the installation neither creates nor removes. So are
// names that do not stay inside the Programs folder (StaysInside): a folder
// such as "..\Startup" or "C:\x" is never created, opened or removed.
StringList ProgramFolderNames(const SetupConfig& config);

// The directories to create for folder under prefix (ending in "\"), outer
// first: prefix + "A", prefix + "A\B" for "A\B".
StringList FolderCreationPaths(const char* prefix, const char* folder);
// The directories to remove for folder under prefix, deepest first:
// prefix + "A\B\C", prefix + "A\B", prefix + "A".
StringList FolderRemovalPaths(const char* prefix, const char* folder);

// Path of the shortcut file name + ".lnk" in folder under prefix (ending in
// "\"); an empty folder puts it into prefix itself.
ByteString GroupLinkPath(const char* prefix, const char* folder, const char* name);

// The shortcut of one group entry (name, target, argument template) in
// folder: target installDir + target, working directory installDir without
// its backslash (D), arguments the template expanded with D (one "%s", "%%";
// anything else literal), and the uninstall icon when the template calls the
// uninstaller ("-u -p") and unInstallIcon is set.
ShortcutLink GroupShortcut(const char* prefix, const char* folder, const char* name,
                           const char* target, const char* argsTemplate, const char* installDir,
                           const char* unInstallIcon);

// Calls visit(folder, name, target, argsTemplate) for every group entry that
// gets a shortcut, in the order they are made: the [Group] entries, then
// [Group1] .. [Group<n>] when ProgramFolder_Group is set. Entries whose folder
// does not stay inside the Programs folder, or whose name (the shortcut's
// file name) does not stay inside its folder, get none (StaysInside).
template <typename Visit>
void ForEachGroupEntry(const SetupConfig& config, Visit visit) {
    auto visitInside = [&](const char* folder, const char* name, const char* target,
                           const char* args) {
        if (StaysInside(folder) && StaysInside(name)) visit(folder, name, target, args);
    };
    const GroupItemLists& items = config.GroupItems;
    const char* folder0 =
        UsesNamedFolders(config) ? config.ProgramFolders[0].c_str() : config.ProgramName.c_str();
    for (size_t i = 0; i < items.names.Count(); ++i) {
        visitInside(folder0, items.names[i].c_str(), items.targets[i].c_str(),
                    items.args[i].c_str());
    }
    if (!UsesNamedFolders(config)) return;
    for (int k = 1; k <= config.NumberedGroupCount && k <= kMaxNumberedGroups; ++k) {
        const char* folder = static_cast<size_t>(k) < config.ProgramFolders.Count()
                                 ? config.ProgramFolders[k].c_str()
                                 : "";
        int count = config.NumberedGroupItemCounts[k - 1];
        for (int e = 0; e < count && e < kMaxGroupItems; ++e) {
            const GroupItem& item = config.NumberedGroupItems[kMaxGroupItems * (k - 1) + e];
            visitInside(folder, item.name.c_str(), item.target.c_str(), item.args.c_str());
        }
    }
}

// The desktop shortcut of one IconOnDesktop entry "target,name[,icon]" on the
// desktop folder desktopRoot: target installDir + target, link desktopRoot +
// "\" + name + ".lnk", working directory installDir as stored, no arguments,
// icon installDir (with its backslash) + icon when a second comma is there.
// False, and nothing to make or delete, for an entry without a comma, with
// an empty name or with a name that does not stay on the desktop
// (StaysInside).
bool DesktopShortcut(const char* entry, const char* desktopRoot, const char* installDir,
                     ShortcutLink* link);
