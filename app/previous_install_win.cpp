#include "app/previous_install_win.h"

#include <shlobj.h>
#include <stdlib.h>
#include <string.h>

#include "app/relaunch_win.h"
#include "app/uninstall_command.h"
#include "base/file_status_win.h"
#include "base/half_width_win.h"
#include "package/own_image_win.h"
#include "package/setup_config.h"
#include "ui/background_wnd_win.h"

const char kSettingsKeyPath[] = "Software\\Quorvane\\Orbelo_Sample";
const char kSettingsBackupKeyPath[] = "Software\\Quorvane\\Orbelo_Sample_BACKUP";

namespace {

const char kUninstallKeyRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
// The title suffix of the uninstaller's windows and message boxes.
const char kUninstallerTitleSuffix[] = " アンインストーラ";
// Poll interval of the wait for the uninstaller's windows, in milliseconds.
constexpr DWORD kWindowPollInterval = 500;

class RegKey {
public:
    RegKey() = default;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;
    ~RegKey() {
        if (key_) RegCloseKey(key_);
    }
    HKEY* Out() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// A heap buffer for registry names and data, whose sizes are only known at
// run time (value data may be far larger than any stack buffer).
class Buffer {
public:
    Buffer() = default;
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    ~Buffer() { free(data_); }
    // Makes room for at least size bytes; false when memory runs out. The
    // contents are not kept.
    bool Reserve(DWORD size) {
        if (size <= size_ && data_) return true;
        if (size == 0) size = 1;
        char* grown = static_cast<char*>(malloc(size));
        if (!grown) return false;
        free(data_);
        data_ = grown;
        size_ = size;
        return true;
    }
    char* Get() const { return data_; }
    BYTE* Bytes() const { return reinterpret_cast<BYTE*>(data_); }
    DWORD Size() const { return size_; }

private:
    char* data_ = nullptr;
    DWORD size_ = 0;
};

bool UninstallEntryExists(const char* path) {
    char value[MAX_PATH];
    LONG size = sizeof(value);
    LONG result = RegQueryValueA(HKEY_LOCAL_MACHINE, path, value, &size);
    // A default value longer than the buffer still proves that the key exists.
    return result == ERROR_SUCCESS || result == ERROR_MORE_DATA;
}

// Registry sizes are counted in UTF-16 units; a code page 932 name may take
// two bytes for each of them.
DWORD AnsiNameBytes(DWORD characters) { return 2 * characters + 1; }

// Retries of one enumeration index whose value grew between the size query
// and the read.
constexpr int kMaxGrowRetries = 16;
// Longest value name (16383 UTF-16 units) as code page 932 bytes.
constexpr DWORD kMaxNameBytes = 2 * 16383 + 1;

bool CopyValues(HKEY src, HKEY dst) {
    DWORD maxName = 0;
    DWORD maxData = 0;
    if (RegQueryInfoKeyA(src, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &maxName, &maxData, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    Buffer name;
    Buffer data;
    if (!name.Reserve(AnsiNameBytes(maxName)) || !data.Reserve(maxData)) return false;

    int retries = 0;
    for (DWORD index = 0;;) {
        DWORD nameSize = name.Size();
        DWORD dataSize = data.Size();
        DWORD type = 0;
        LONG result = RegEnumValueA(src, index, name.Get(), &nameSize, nullptr, &type,
                                    data.Bytes(), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS) return true;
        if (result == ERROR_MORE_DATA) {
            if (++retries > kMaxGrowRetries) return false;
            DWORD nameBytes = name.Size() < kMaxNameBytes / 2 ? 2 * name.Size() : kMaxNameBytes;
            DWORD dataBytes = data.Size() < MAXDWORD / 2 ? 2 * data.Size() : MAXDWORD;
            if (dataSize > dataBytes) dataBytes = dataSize;
            if (!name.Reserve(nameBytes) || !data.Reserve(dataBytes)) return false;
            continue;
        }
        if (result != ERROR_SUCCESS) return false;
        // dataSize is what the read delivered, never the buffer's size.
        if (RegSetValueExA(dst, name.Get(), 0, type, data.Bytes(), dataSize) != ERROR_SUCCESS) {
            return false;
        }
        retries = 0;
        ++index;
    }
}

bool CopySubkeys(HKEY src, HKEY dst) {
    DWORD maxSubkey = 0;
    if (RegQueryInfoKeyA(src, nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    Buffer name;
    if (!name.Reserve(AnsiNameBytes(maxSubkey))) return false;

    bool complete = true;
    int retries = 0;
    for (DWORD index = 0;;) {
        DWORD nameSize = name.Size();
        LONG result = RegEnumKeyExA(src, index, name.Get(), &nameSize, nullptr, nullptr, nullptr,
                                    nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return complete;
        if (result == ERROR_MORE_DATA) {
            if (++retries > kMaxGrowRetries || name.Size() >= kMaxNameBytes) return false;
            if (!name.Reserve(2 * name.Size())) return false;
            continue;
        }
        if (result != ERROR_SUCCESS) return false;
        if (!CopyKeyTree(src, dst, name.Get(), name.Get())) complete = false;
        retries = 0;
        ++index;
    }
}

LONG DeleteNtKeyWithSubkeys(HKEY root, const char* path) {
    RegKey key;
    LONG result = RegOpenKeyExA(root, path, 0, KEY_ENUMERATE_SUB_KEYS | DELETE, key.Out());
    if (result != ERROR_SUCCESS) return result;
    // On the heap: the recursion may go as deep as the tree.
    Buffer name;
    if (!name.Reserve(4096)) return ERROR_NOT_ENOUGH_MEMORY;
    for (;;) {
        DWORD nameSize = name.Size();
        result = RegEnumKeyExA(key.Get(), 0, name.Get(), &nameSize, nullptr, nullptr, nullptr,
                               nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return RegDeleteKeyA(root, path);
        if (result != ERROR_SUCCESS) return result;
        result = DeleteNtKeyWithSubkeys(key.Get(), name.Get());
        if (result != ERROR_SUCCESS) return result;
    }
}

ByteString UninstallEntryPath() {
    ByteString path(kUninstallKeyRoot);
    path.Append(Config().RegUninstall);
    return path;
}

// The setup script that the uninstaller is to read from directory, when the
// installed one is gone: the one this installer reads, that is the package's
// own, or, for an installer without a package, the one beside it (ScriptDir
// is then the installer's folder). A file that happens to lie beside a
// packaged installer, in a download folder anyone can write, is never taken:
// it would drive the elevated uninstaller's deletions.
void ProvideSetupScript(const ByteString& directory) {
    const ByteString& scriptDir = Config().ScriptDir;
    if (scriptDir.IsEmpty()) return;
    ByteString source = scriptDir;
    source.Append("install.inf");
    ByteString target = directory;
    target.Append("install.inf");
    // An installed script stays: it describes what was installed.
    if (CopyFileA(source.c_str(), target.c_str(), TRUE)) {
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Writes this installer's own program over the installed uninstaller, from
// the file opened at start (see own_image_win.h).
void ReplaceInstalledUninstaller(const char* path) {
    HANDLE target = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) return;
    bool written = WriteOwnImage(target);
    CloseHandle(target);
    // A cut program would be started as the uninstaller.
    if (!written) DeleteFileA(path);
}

void WaitWhileWindowTitled(const ByteString& title) {
    while (FindWindowA(nullptr, title.c_str())) Sleep(kWindowPollInterval);
}

// Steps from reading the command to the end of the uninstaller's windows.
// False when the uninstaller could not be started.
bool RunInstalledUninstaller(ByteString* directory) {
    ByteString text;
    ReadUninstallString(&text);
    UninstallCommand command = SplitUninstallCommand(text.c_str());
    // Without a program file to replace and start nothing can run; copying
    // anyway would leave the installer and its script in some other place.
    if (!NamesProgramFile(command)) return false;
    char commandLine[kUninstallCommandSize];
    if (command.PassArguments && !BuildUninstallerCommandLine(command, commandLine)) return false;

    *directory = command.Directory;
    CreateDirectoryA(directory->c_str(), nullptr);
    // The uninstaller that runs is this installer's own program, working
    // from the installed setup script.
    SetFileAttributesA(command.ProgramPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    ReplaceInstalledUninstaller(command.ProgramPath.c_str());
    ProvideSetupScript(*directory);

    bool started = command.PassArguments ? RunAndWait(nullptr, commandLine)
                                         : RunAndWait(command.ProgramPath.c_str(), nullptr);
    if (!started) return false;
    Sleep(500);
    ByteString title = Config().ProgramName;
    title.Append(kUninstallerTitleSuffix);
    WaitWhileWindowTitled(title);
    title = ToHalfWidth(Config().ProgramName.c_str());
    title.Append(kUninstallerTitleSuffix);
    WaitWhileWindowTitled(title);
    return true;
}

}  // namespace

bool ReadUninstallString(ByteString* command) {
    command->Clear();
    if (Config().RegUninstall.IsEmpty()) return false;
    ByteString path = UninstallEntryPath();
    for (int attempt = 0; attempt < 2; ++attempt) {
        RegKey key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) !=
            ERROR_SUCCESS) {
            path = ToHalfWidth(path.c_str());
            continue;
        }
        char buffer[kUninstallCommandSize];
        memset(buffer, 0, sizeof buffer);
        DWORD size = sizeof buffer;
        if (RegQueryValueExA(key.Get(), "UninstallString", nullptr, nullptr,
                             reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS) {
            return false;
        }
        // A value that fills the buffer to its last byte has no room left
        // for its end.
        if (buffer[sizeof buffer - 1] != 0) return false;
        *command = buffer;
        return true;
    }
    return false;
}

UninstallPreviousResult UninstallPrevious() {
    CopyKeyTree(HKEY_CURRENT_USER, HKEY_CURRENT_USER, kSettingsKeyPath, kSettingsBackupKeyPath);
    BackgroundWnd* window = MainBackgroundWnd();
    HWND main = window ? window->Handle() : nullptr;
    if (main) ShowWindow(main, SW_HIDE);
    ByteString directory;
    bool started = RunInstalledUninstaller(&directory);
    if (main) ShowWindow(main, SW_SHOW);
    if (!started) return UninstallPreviousResult::kCannotStart;
    // Only an empty directory goes: whatever the uninstallation left stays.
    RemoveDirectoryA(directory.c_str());
    return FindUninstallEntry() ? UninstallPreviousResult::kStillInstalled
                                : UninstallPreviousResult::kUninstalled;
}

void RestoreSettingsBackup(bool deleteBackup) {
    bool complete = CopyKeyTree(HKEY_CURRENT_USER, HKEY_CURRENT_USER, kSettingsBackupKeyPath,
                                kSettingsKeyPath);
    if (deleteBackup && complete) DeleteKeyWithSubkeys(HKEY_CURRENT_USER, kSettingsBackupKeyPath);
}

bool FindUninstallEntry() {
    // Without a name the path would be the Uninstall key itself.
    if (Config().RegUninstall.IsEmpty()) return false;
    ByteString path = UninstallEntryPath();
    if (UninstallEntryExists(path.c_str())) return true;
    return UninstallEntryExists(ToHalfWidth(path.c_str()).c_str());
}

bool CopyKeyTree(HKEY srcRoot, HKEY dstRoot, const char* srcPath, const char* dstPath) {
    RegKey src;
    if (RegOpenKeyExA(srcRoot, srcPath, 0, KEY_ALL_ACCESS, src.Out()) != ERROR_SUCCESS) {
        return false;
    }
    LONG deleted = DeleteKeyWithSubkeys(dstRoot, dstPath);
    // Old content that could not be removed would mix with the copy.
    bool complete = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    RegKey dst;
    if (RegCreateKeyExA(dstRoot, dstPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, dst.Out(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    if (!CopyValues(src.Get(), dst.Get())) complete = false;
    if (!CopySubkeys(src.Get(), dst.Get())) complete = false;
    return complete;
}

LONG DeleteKeyWithSubkeys(HKEY root, const char* path) {
    // An empty path names root itself, which is never meant.
    if (!path || !*path) return ERROR_BADKEY;
    if (IsNtPlatform()) return DeleteNtKeyWithSubkeys(root, path);
    // Windows 95, 98 and Me, the only other systems the program runs on:
    // there RegDeleteKeyA removes the whole subtree.
    return RegDeleteKeyA(root, path);
}
