#include "engine/file_install_win.h"

#include <stdlib.h>
#include <string.h>

#include "base/file_status_win.h"
#include "base/messages_win.h"
#include "engine/file_install.h"
#include "engine/install_paths.h"
#include "engine/pending_renames_win.h"
#include "engine/wininit.h"
#include "package/copy_progress_dialog_win.h"
#include "package/nt_security_win.h"
#include "package/setup_config.h"
#include "res/resource.h"

namespace {

// WININIT.INI is a few lines long; anything past this is not that file.
constexpr DWORD kMaxWininitSize = 1024 * 1024;

// A directory that the platform fills into a 260-byte buffer, with a
// backslash at the end; empty when it does not fit.
typedef UINT(WINAPI* DirectoryQuery)(LPSTR buffer, UINT size);
ByteString PlatformDirectory(DirectoryQuery query) {
    char buffer[MAX_PATH];
    UINT length = query(buffer, MAX_PATH);
    // A result of MAX_PATH or more is the size the path would need.
    if (length == 0 || length >= MAX_PATH) return ByteString();
    return WithTrailingBackslash(buffer);
}

ByteString Joined(const ByteString& directory, const char* name) {
    ByteString path = WithTrailingBackslash(directory.c_str());
    path.Append(name);
    return path;
}

void ReportCopyFailure(const char* name, bool* failed) {
    ShowMessage(kStyleDefault, IDS_CANNOT_COPY, name);
    *failed = true;
}

bool ReadWholeFile(const char* path, ByteString* text, bool* missing) {
    *missing = false;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        *missing = error == ERROR_FILE_NOT_FOUND;
        return false;
    }
    DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= kMaxWininitSize;
    char* buffer = ok ? static_cast<char*>(malloc(size + 1)) : nullptr;
    DWORD read = 0;
    ok = buffer && (size == 0 || (ReadFile(file, buffer, size, &read, nullptr) && read == size));
    if (ok) text->Assign(buffer, size);
    free(buffer);
    CloseHandle(file);
    return ok;
}

bool WriteWholeFile(const char* path, const ByteString& text) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, text.c_str(), static_cast<DWORD>(text.Length()), &written, nullptr) &&
              written == text.Length();
    return CloseHandle(file) && ok;
}

bool AddToWininit(const char* path, const char* wininitPath) {
    // The [Rename] lines are carried out before Windows 95/98/Me supports
    // long names, so they need the short form of the path.
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, MAX_PATH);
    const char* entry = length > 0 && length < MAX_PATH ? shortPath : path;

    ByteString text;
    bool missing = false;
    // A file that exists but cannot be read is left alone rather than
    // replaced by a file holding our line only.
    if (!ReadWholeFile(wininitPath, &text, &missing) && !missing) return false;
    ByteString updated;
    if (!AddRenameDeletion(text.c_str(), text.Length(), entry, &updated)) return false;
    return WriteWholeFile(wininitPath, updated);
}

}  // namespace

int CopyListedFile(CopyProgressDialog& dialog, const char* listName, const char* packageName,
                   bool optional, bool* failed) {
    const SetupConfig& config = Config();
    ByteString destination = Joined(config.InstallDir, listName);
    bool destinationExists = PathExists(destination.c_str());
    ByteString source = Joined(config.ScriptDir, packageName);
    if (!PathExists(source.c_str())) {
        source = Joined(config.ScriptDir, listName);
        if (!PathExists(source.c_str())) {
            if (optional) return 0;
            ReportCopyFailure(listName, failed);
            return -1;
        }
    }
    if (destinationExists && IsSamePath(source.c_str(), destination.c_str())) {
        AddProgress(dialog, FileSizeOf(destination.c_str()));
        return -1;
    }
    int result = CopyPackageFile(dialog, destination.c_str(), source.c_str());
    if (result < 0) ReportCopyFailure(listName, failed);
    return result;
}

bool CopyListedFiles(CopyProgressDialog& dialog) {
    const SetupConfig& config = Config();
    bool failed = false;
    for (size_t i = 0; i < config.CopyList.Count(); ++i) {
        bool optional = false;
        ByteString packageName = GetSourceName(config, i, &optional);
        if (packageName.IsEmpty()) continue;
        CopyListedFile(dialog, config.CopyList[i].c_str(), packageName.c_str(), optional, &failed);
    }
    return !failed;
}

namespace {

// Puts the package file source in the place of destination, a file that is
// recorded for deletion at the next restart. The new file is first written
// beside it under a temporary name; then the deletion is taken back and the
// new file replaces the old one at once, or, while the old one is in use,
// at the next restart. Should the deletion stay recorded, the replacement
// is recorded after it, so that the new file is there after the restart in
// every case. False when the new file could not be written or put in place.
bool ReplaceFileLeavingAtRestart(CopyProgressDialog& dialog, const ByteString& directory,
                                 const ByteString& destination, const char* source) {
    char temporary[MAX_PATH];
    if (!GetTempFileNameA(directory.c_str(), "Ins", 0, temporary)) return false;
    if (CopyPackageFile(dialog, temporary, source) < 0) {
        DeleteFileA(temporary);
        return false;
    }
    // System files are installed on the NT family only, which has these.
    const NtFileFunctions* nt = NtFiles();
    if (nt && CancelPendingDeletion(destination.c_str()) &&
        nt->MoveFileExA(temporary, destination.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    if (nt && nt->MoveFileExA(temporary, destination.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return true;
    }
    DeleteFileA(temporary);
    return false;
}

}  // namespace

bool CopySystemFiles(CopyProgressDialog& dialog) {
    const SetupConfig& config = Config();
    if (config.SystemFiles.IsEmpty()) return true;
    ByteString systemDirectory = PlatformDirectory(&GetSystemDirectoryA);
    for (size_t i = 0; i < config.SystemFiles.Count(); ++i) {
        const char* name = config.SystemFiles[i].c_str();
        ByteString source = Joined(config.ScriptDir, UnderscoreName(name).c_str());
        bool ok = !systemDirectory.IsEmpty() && PathExists(source.c_str());
        if (ok) {
            ByteString destination = Joined(systemDirectory, name);
            if (!PathExists(destination.c_str())) {
                ok = CopyPackageFile(dialog, destination.c_str(), source.c_str()) >= 0;
            } else {
                // An existing file of that name belongs to Windows or to
                // another product and is never replaced, unless it is to go
                // at the next restart: then it is what the uninstallation of
                // an earlier version left, and the new one takes its place.
                ok = IsDeletionPending(destination.c_str()) &&
                     ReplaceFileLeavingAtRestart(dialog, systemDirectory, destination,
                                                 source.c_str());
            }
        }
        if (!ok) {
            bool failed = false;
            ReportCopyFailure(source.c_str(), &failed);
            return false;
        }
    }
    return true;
}

void OpenReadme() {
    const SetupConfig& config = Config();
    if (config.Readme.IsEmpty()) return;
    // Notepad from the Windows directory by its full path: a bare name would
    // be searched for in the installer's own directory first.
    ByteString notepad = PlatformDirectory(&GetWindowsDirectoryA);
    if (notepad.IsEmpty()) return;
    notepad.Append("notepad.exe");
    // Quoted, since the installation directory often holds blanks.
    ByteString parameters("\"");
    parameters.Append(Joined(config.InstallDir, config.Readme.c_str()));
    parameters.Append('"');
    ShellExecuteA(nullptr, "open", notepad.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}

void RunMainProgram() {
    const SetupConfig& config = Config();
    ByteString program = Joined(config.InstallDir, config.MainProgram.c_str());
    // The program is named by its full path and quoted on its command line:
    // an unquoted path with blanks ("C:\Program Files\...") would make
    // Windows try "C:\Program.exe" and the like first.
    ByteString commandLine("\"");
    commandLine.Append(program);
    commandLine.Append('"');
    // CreateProcessA may write into the command line.
    char* buffer = static_cast<char*>(malloc(commandLine.Length() + 1));
    if (!buffer) return;
    memcpy(buffer, commandLine.c_str(), commandLine.Length() + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process = {};
    const char* directory = config.InstallDir.IsEmpty() ? nullptr : config.InstallDir.c_str();
    BOOL started = CreateProcessA(program.c_str(), buffer, nullptr, nullptr, TRUE,
                                  CREATE_SUSPENDED | CREATE_DEFAULT_ERROR_MODE, nullptr,
                                  directory, &startup, &process);
    free(buffer);
    if (!started) {
        ShowMessage(MB_ICONHAND, IDS_CANNOT_START_PROGRAM, program.c_str());
        return;
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

bool ScheduleDeleteAtRestart(const char* path, bool ntFamily, const char* wininitPath) {
    if (ntFamily) {
        // Looked up: Windows 95/98/Me do not provide MoveFileExA, and a
        // program importing it would not load there at all.
        const NtFileFunctions* nt = NtFiles();
        return nt && nt->MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
    }
    return AddToWininit(path, wininitPath);
}

bool ScheduleDeleteAtRestart(const char* path) {
    if (IsNtPlatform()) return ScheduleDeleteAtRestart(path, true, nullptr);
    ByteString wininit = PlatformDirectory(&GetWindowsDirectoryA);
    if (wininit.IsEmpty()) return false;
    wininit.Append("WININIT.INI");
    return ScheduleDeleteAtRestart(path, false, wininit.c_str());
}

bool ScheduleSelfDeleteAtRestart() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    // A full buffer means the path was cut: never schedule a wrong file.
    if (length == 0 || length >= MAX_PATH) return false;
    return ScheduleDeleteAtRestart(path);
}
