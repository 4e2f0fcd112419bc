#include "engine/program_folder_win.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include "base/file_status_win.h"
#include "engine/com_ref_win.h"
#include "engine/install_paths.h"
#include "engine/program_folder_rules.h"
#include "engine/shell_link_win.h"
#include "package/setup_config.h"

namespace {

// How long the folder window stays on screen before its shortcuts go.
constexpr DWORD kFolderWindowPause = 2000;
// The product's Japanese name, which its Startup shortcut bears.
const char kStartupMatchText[] = "オルベロ";

// Shows a folder in a shell window. "open" of a path that is a file would
// start it, as administrator, so only a real directory is opened: not a file,
// and not a junction or link that leads somewhere else. It is named with a
// trailing backslash, which only a directory matches ("open" of "x.bat\"
// starts nothing), so even a directory replaced by a program after the check
// is not started.
void OpenFolderWindow(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return;
    }
    ByteString folder = WithTrailingBackslash(path);
    ShellExecuteA(nullptr, "open", folder.c_str(), nullptr, nullptr, SW_SHOW);
}

void MakeLink(const ShortcutLink& link) {
    CreateShellLink(link.linkPath.c_str(), "", link.target.c_str(), link.arguments.c_str(),
                    link.workingDirectory.c_str(), link.iconPath.c_str(), 0);
}

ByteString Joined(const ByteString& prefix, const ByteString& name) {
    ByteString path(prefix);
    path.Append(name);
    return path;
}

void DeleteIfPresent(const char* path) {
    if (PathExists(path)) DeleteFileA(path);
}

// Calls act for the shortcut of every desktop icon that the script lists.
void ForEachDesktopLink(void (*act)(const ShortcutLink& link)) {
    const SetupConfig& config = Config();
    if (config.DesktopIcons.IsEmpty()) return;
    ByteString desktop = DesktopFolderPath();
    if (desktop.IsEmpty()) return;
    ShortcutLink link;
    for (size_t i = 0; i < config.DesktopIcons.Count(); ++i) {
        if (DesktopShortcut(config.DesktopIcons[i].c_str(), desktop.c_str(),
                            config.InstallDir.c_str(), &link)) {
            act(link);
        }
    }
}

void DeleteLink(const ShortcutLink& link) { DeleteIfPresent(link.linkPath.c_str()); }

}  // namespace

ByteString ShellFolderPath(int csidl) {
    ComRef<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.Receive())) || !allocator) return ByteString();
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return ByteString();
    char path[MAX_PATH] = "";
    BOOL found = SHGetPathFromIDListA(items, path);
    allocator->Free(items);
    if (!found) return ByteString();
    return ByteString(path);
}

ByteString ProgramsFolderPath() {
    return ShellFolderPath(IsNtPlatform() ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS);
}

ByteString DesktopFolderPath() {
    return ShellFolderPath(IsNtPlatform() ? CSIDL_COMMON_DESKTOPDIRECTORY : CSIDL_DESKTOP);
}

int CreateProgramFolder() {
    const SetupConfig& config = Config();
    ByteString programs = ProgramsFolderPath();
    if (programs.IsEmpty()) return 1;
    ByteString prefix = WithTrailingBackslash(programs.c_str());

    StringList folders = ProgramFolderNames(config);
    for (size_t i = 0; i < folders.Count(); ++i) {
        StringList levels = FolderCreationPaths(prefix.c_str(), folders[i].c_str());
        for (size_t j = 0; j < levels.Count(); ++j) CreateDirectoryA(levels[j].c_str(), nullptr);
    }
    if (!config.SilentMode && config.InstDispProgramMenu != 0) {
        for (size_t i = 0; i < folders.Count(); ++i) {
            OpenFolderWindow(Joined(prefix, folders[i]).c_str());
        }
    }
    ForEachGroupEntry(
        config, [&](const char* folder, const char* name, const char* target, const char* args) {
            MakeLink(GroupShortcut(prefix.c_str(), folder, name, target, args,
                                   config.InstallDir.c_str(), config.UnInstallIcon.c_str()));
        });
    return 1;
}

int RemoveProgramFolder() {
    const SetupConfig& config = Config();
    ByteString programs = ProgramsFolderPath();
    if (programs.IsEmpty()) return 1;
    ByteString prefix = WithTrailingBackslash(programs.c_str());

    StringList folders = ProgramFolderNames(config);
    if (!config.SilentMode && config.UnInstDispProgramMenu != 0) {
        for (size_t i = 0; i < folders.Count(); ++i) {
            OpenFolderWindow(Joined(prefix, folders[i]).c_str());
        }
        // Also when no window opened: the pause belongs to the uninstaller's
        // pace, not to the window.
        Sleep(kFolderWindowPause);
    }
    ForEachGroupEntry(config, [&](const char* folder, const char* name, const char*, const char*) {
        DeleteIfPresent(GroupLinkPath(prefix.c_str(), folder, name).c_str());
    });
    for (size_t i = 0; i < folders.Count(); ++i) {
        StringList levels = FolderRemovalPaths(prefix.c_str(), folders[i].c_str());
        for (size_t j = 0; j < levels.Count(); ++j) {
            if (PathExists(levels[j].c_str())) RemoveDirectoryA(levels[j].c_str());
        }
    }
    return 1;
}

void CreateDesktopIcons() { ForEachDesktopLink(MakeLink); }

void RemoveDesktopIcons() { ForEachDesktopLink(DeleteLink); }

void RemoveStartupShortcut() {
    ByteString folder = ShellFolderPath(CSIDL_STARTUP);
    if (folder.IsEmpty()) return;

    ByteString pattern(folder);
    pattern.Append("\\*");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    StringList paths;
    do {
        ByteString path(folder);
        path.Append('\\');
        path.Append(entry.cFileName);
        paths.Add(path);
    } while (FindNextFileA(search, &entry));
    FindClose(search);

    // The name is matched, not the folder: a profile path that contains the
    // product's name would otherwise make every entry match.
    size_t nameStart = folder.Length() + 1;
    for (size_t i = 0; i < paths.Count(); ++i) {
        const char* path = paths[i].c_str();
        if (MbFindText(path + nameStart, kStartupMatchText) < 0) continue;
        DWORD attributes = GetFileAttributesA(path);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        }
        DeleteFileA(path);
        return;
    }
}
