#include "engine/uninstall_win.h"

#include <string.h>

#include "base/file_status_win.h"
#include "base/messages_win.h"
#include "engine/file_install_win.h"
#include "engine/program_folder_win.h"
#include "engine/registry_entries_win.h"
#include "engine/step_state.h"
#include "engine/uninstall_rules.h"
#include "package/setup_config.h"
#include "res/resource.h"

namespace {

HWND g_dialog = nullptr;

// The directories that the installation created, as its record said when
// the registration entries went; read by the removal of the directories.
char g_createdChain[kRecordedChainSize];

// Pause between directory removals, in milliseconds: a shell window that
// showed a folder a moment ago may still hold it open.
constexpr DWORD kRemovalPause = 100;

// The WS_DISABLED test of IsWindowEnabled, without importing it.
bool DoneEnabled(HWND dialog) {
    return !(GetWindowLongA(GetDlgItem(dialog, IDC_UNINST_DONE), GWL_STYLE) & WS_DISABLED);
}

void OnInitDialog(HWND dialog) {
    const SetupConfig& config = Config();
    ByteString caption = config.ProgramName;
    caption.Append(" アンインストーラ");
    SetWindowTextA(dialog, caption.c_str());
    SetDlgItemTextA(dialog, IDC_UNINST_TEXT,
                    FormatMessageText(IDS_UNINSTALLING, config.ProgramName.c_str()).c_str());
    static const struct {
        int control;
        UINT text;
    } kPhases[] = {
        {IDC_UNINST_FOLDER, IDS_STEP_FOLDER},
        {IDC_UNINST_REGISTRY, IDS_STEP_REGISTRY},
        {IDC_UNINST_FILES, IDS_STEP_FILES},
        {IDC_UNINST_DIRS, IDS_STEP_DIRS},
    };
    for (const auto& phase : kPhases) {
        SetDlgItemTextA(dialog, phase.control, LoadMessageText(phase.text).c_str());
    }
    SetDlgItemTextA(dialog, IDC_UNINST_DONE, "完了");
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            // The caller puts the focus on the first phase.
            return FALSE;
        case WM_COMMAND: {
            int id = LOWORD(wParam);
            // IDCANCEL is Escape, or the close command turned into it. Only the
            // finished uninstallation may end the dialog: the sequencer stays
            // held until the dialog releases it.
            if ((id == IDC_UNINST_DONE || id == IDCANCEL) && DoneEnabled(dialog)) {
                StepHold = kStepReleased;
                DestroyWindow(dialog);
            }
            // The check boxes are not automatic: a click changes nothing.
            return TRUE;
        }
        case WM_NCDESTROY:
            if (g_dialog == dialog) g_dialog = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void FocusControl(int id) {
    if (!g_dialog) return;
    // WM_NEXTDLGCTL moves the default-button look along with the focus.
    SendMessageA(g_dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(g_dialog, id)), TRUE);
}

ByteString SystemDirectory() {
    char buffer[MAX_PATH];
    UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ByteString();
    ByteString directory(buffer, length);
    if (directory.Last() != '\\') directory.Append('\\');
    return directory;
}

// Full paths of the files (not directories) that pattern finds, each put
// after directory.
StringList MatchingFiles(const char* pattern, const ByteString& directory) {
    StringList files;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ByteString path = directory;
        path.Append(entry.cFileName);
        files.Add(path);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return files;
}

// Collects first, deletes after: deleting while the search is open could
// make it skip or repeat entries.
void DeleteMatchingFiles(const ByteString& installDir, const char* pattern) {
    ByteString search = installDir;
    search.Append(pattern);
    ByteString directory = installDir;
    directory.Append(PatternDirectory(pattern));
    StringList files = MatchingFiles(search.c_str(), directory);
    for (size_t i = 0; i < files.Count(); ++i) DeleteFileA(files[i].c_str());
}

// False when a required file stayed (after message 9).
bool DeleteListedFile(const ByteString& installDir, const ByteString& name, const char* type) {
    ByteString path = installDir;
    path.Append(name);
    if (DeleteFileA(path.c_str())) return true;
    DWORD error = GetLastError();
    // Only the required files of the product are worth a word.
    if (strcmp(type, "1") != 0 && strcmp(type, "5") != 0) return true;
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
    if (error == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (DeleteFileA(path.c_str())) return true;
    }
    ShowMessage(kStyleDefault, IDS_CANNOT_DELETE, name.c_str());
    return false;
}

// False after message 7 for the first system file that is missing.
bool ScheduleSystemFiles(const StringList& systemFiles) {
    if (systemFiles.IsEmpty()) return true;
    ByteString directory = SystemDirectory();
    for (size_t i = 0; i < systemFiles.Count(); ++i) {
        ByteString path = directory;
        path.Append(systemFiles[i]);
        // Without the system directory no path names the installed file.
        if (directory.IsEmpty() || !PathExists(path.c_str())) {
            ShowMessage(kStyleDefault, IDS_CANNOT_COPY, path.c_str());
            return false;
        }
        ScheduleDeleteAtRestart(path.c_str());
    }
    return true;
}

bool HasEntries(const ByteString& directory) {
    ByteString pattern = directory;
    pattern.Append("\\*");
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool found = false;
    do {
        found = strcmp(entry.cFileName, ".") != 0 && strcmp(entry.cFileName, "..") != 0;
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
    return found;
}

}  // namespace

bool OpenUninstallDialog(HWND owner) {
    if (!g_dialog) {
        // Owned, it stays in front of the full-screen background window,
        // also when a click activates that window.
        g_dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_UNINSTALL),
                                      owner, &DialogProc, 0);
    }
    if (!g_dialog) return false;
    FocusControl(IDC_UNINST_FOLDER);
    return true;
}

HWND UninstallDialogHandle() { return g_dialog; }

void StartUninstallPhase(int checkBoxId) { FocusControl(checkBoxId); }

void EndUninstallPhase(int checkBoxId) {
    if (g_dialog) SendDlgItemMessageA(g_dialog, checkBoxId, BM_SETCHECK, BST_CHECKED, 0);
}

void ShowUninstallComplete() {
    if (!g_dialog) return;
    EnableWindow(GetDlgItem(g_dialog, IDC_UNINST_DONE), TRUE);
    SetDlgItemTextA(g_dialog, IDC_UNINST_TEXT,
                    FormatMessageText(IDS_UNINSTALL_DONE, Config().ProgramName.c_str()).c_str());
    FocusControl(IDC_UNINST_DONE);
}

void CloseUninstallDialog() {
    if (g_dialog) DestroyWindow(g_dialog);
}

FileRemoval RemoveInstalledFiles() {
    const SetupConfig& config = Config();
    const ByteString& installDir = config.InstallDir;
    FileRemoval removal;
    for (size_t i = 0; i < config.CopyList.Count(); ++i) {
        const ByteString& name = config.CopyList[i];
        if (MbFind(name.c_str(), '*') >= 0) {
            DeleteMatchingFiles(installDir, name.c_str());
        } else {
            const char* type = i < config.CopyTypes.Count() ? config.CopyTypes[i].c_str() : "";
            if (!DeleteListedFile(installDir, name, type)) removal.listedFilesGone = false;
        }
    }
    removal.systemFilesFound = ScheduleSystemFiles(config.SystemFiles);
    DeleteMatchingFiles(installDir, "*.GID");
    return removal;
}

void RemoveRegistrationEntries() {
    DeleteUninstallEntry();
    DeleteAppPath();
    RemoveStartupShortcut();
    memset(g_createdChain, 0, sizeof g_createdChain);
    ByteString createdKeys;
    TakeRecordedItems(g_createdChain, &createdKeys);
    DeleteListedKeys();
    RemoveCreatedKeys(createdKeys.c_str());
}

void RemoveInstallDirectories() {
    const SetupConfig& config = Config();
    StringList subdirectories = UninstallSubdirectories(config.CopyList);
    for (size_t i = 0; i < subdirectories.Count(); ++i) {
        ByteString path = config.InstallDir;
        path.Append(subdirectories[i]);
        RemoveDirectoryA(path.c_str());
        Sleep(kRemovalPause);
    }

    StringList climb = ClimbDirectories(config.InstallDir.c_str(), g_createdChain);
    // A file the user left in the installation directory keeps it, and with
    // it every parent.
    if (!climb.IsEmpty() && HasEntries(climb[0])) return;
    for (size_t i = 0; i < climb.Count(); ++i) {
        Sleep(kRemovalPause);
        // A process cannot remove its own current directory.
        SetCurrentDirectoryA("\\");
        RemoveDirectoryA(climb[i].c_str());
    }
}
