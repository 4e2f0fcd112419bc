#include "engine/program_folder_rules.h"

#include "engine/install_paths.h"
#include "package/relative_name.h"

namespace {

ByteString Joined(const char* prefix, const char* name) {
    ByteString path(prefix);
    path.Append(name);
    return path;
}

}  // namespace

bool UsesNamedFolders(const SetupConfig& config) {
    return config.ProgramFolders.Count() > 0 && !config.ProgramFolders[0].IsEmpty();
}

StringList ProgramFolderNames(const SetupConfig& config) {
    StringList names;
    if (!UsesNamedFolders(config)) {
        const ByteString& name = config.ProgramName;
        if (!name.IsEmpty() && StaysInside(name.c_str())) names.Add(name);
        return names;
    }
    for (size_t i = 0; i < config.ProgramFolders.Count(); ++i) {
        const ByteString& name = config.ProgramFolders[i];
        if (!name.IsEmpty() && StaysInside(name.c_str())) names.Add(name);
    }
    return names;
}

StringList FolderCreationPaths(const char* prefix, const char* folder) {
    StringList paths;
    if (!*folder) return paths;
    int previous = -1;
    for (int i = MbFind(folder, '\\'); i >= 0; previous = i, i = MbFind(folder, '\\', i + 1)) {
        // A leading or doubled backslash gives no new level.
        if (i > previous + 1) paths.Add(Joined(prefix, ByteString(folder, i).c_str()));
    }
    paths.Add(Joined(prefix, folder));
    return paths;
}

StringList FolderRemovalPaths(const char* prefix, const char* folder) {
    StringList paths;
    ByteString rest(folder);
    while (!rest.IsEmpty()) {
        paths.Add(Joined(prefix, rest.c_str()));
        int last = MbFindLast(rest.c_str(), '\\');
        if (last < 0) break;
        rest.Truncate(static_cast<size_t>(last));
    }
    return paths;
}

ByteString GroupLinkPath(const char* prefix, const char* folder, const char* name) {
    ByteString path(prefix);
    if (*folder) {
        path.Append(folder);
        path.Append('\\');
    }
    path.Append(name);
    path.Append(".lnk");
    return path;
}

ShortcutLink GroupShortcut(const char* prefix, const char* folder, const char* name,
                           const char* target, const char* argsTemplate, const char* installDir,
                           const char* unInstallIcon) {
    ShortcutLink link;
    ByteString directory = WithoutTrailingBackslash(installDir);
    link.linkPath = GroupLinkPath(prefix, folder, name);
    link.target = Joined(installDir, target);
    if (*argsTemplate) {
        if (MbFindText(argsTemplate, "-u -p") >= 0 && *unInstallIcon) {
            link.iconPath = Joined(installDir, unInstallIcon);
        }
        link.arguments = FormatDirTemplate(argsTemplate, directory.c_str());
    }
    link.workingDirectory = directory;
    return link;
}

bool DesktopShortcut(const char* entry, const char* desktopRoot, const char* installDir,
                     ShortcutLink* link) {
    int c1 = MbFind(entry, ',');
    if (c1 < 0) return false;
    int c2 = MbFind(entry, ',', c1 + 1);
    ByteString text(entry);
    ByteString name = c2 < 0
                          ? text.Mid(static_cast<size_t>(c1) + 1)
                          : text.Mid(static_cast<size_t>(c1) + 1, static_cast<size_t>(c2 - c1 - 1));
    if (name.IsEmpty() || !StaysInside(name.c_str())) return false;

    link->arguments.Clear();
    link->iconPath.Clear();
    link->target = Joined(installDir, text.Left(static_cast<size_t>(c1)).c_str());
    link->linkPath = WithTrailingBackslash(desktopRoot);
    link->linkPath.Append(name);
    link->linkPath.Append(".lnk");
    link->workingDirectory = installDir;
    if (c2 >= 0) {
        link->iconPath = WithTrailingBackslash(installDir);
        link->iconPath.Append(entry + c2 + 1);
    }
    return true;
}
