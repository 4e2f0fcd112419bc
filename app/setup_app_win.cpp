#include "app/setup_app_win.h"

#include <string.h>

#include "app/command_line.h"
#include "app/previous_install_win.h"
#include "app/relaunch_win.h"
#include "app/system_checks_win.h"
#include "base/file_status_win.h"
#include "base/messages_win.h"
#include "base/run_outcome.h"
#include "engine/file_install_win.h"
#include "engine/program_folder_win.h"
#include "engine/step_sequencer_win.h"
#include "engine/step_state.h"
#include "package/extract_win.h"
#include "package/own_image_win.h"
#include "package/setup_config.h"
#include "package/setup_script_win.h"
#include "res/resource.h"
#include "ui/background_wnd_win.h"
#include "ui/license_dialog_win.h"

namespace {

// The application object's state.
struct SetupApp {
    HINSTANCE Instance = nullptr;
    int ShowCommand = 0;  // set by RunSetupApp
    HANDLE UninstallerMutex = nullptr;  // held by the relaunched uninstaller only
};

SetupApp theApp;

// Notes how the run ends, for the refusals of InitInstance: returns false.
bool EndRun(RunOutcome outcome) {
    NoteRunOutcome(outcome);
    return false;
}

// Full path of the running executable; empty when it does not fit the
// 260-byte buffer (a cut path would name another file).
ByteString ModulePath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return ByteString();
    return ByteString(path, length);
}

void ApplyCommandLine(SetupConfig& config) {
    StringList arguments;
    SplitCommandLine(GetCommandLineA(), arguments);
    SetupCommandLine parser;
    for (size_t i = 1; i < arguments.Count(); ++i) parser.ParseArgument(arguments[i].c_str());
    if (parser.UninstallMode) config.UninstallMode = true;
    if (parser.SilentMode) config.SilentMode = true;
    if (parser.HasInstallDir) config.InstallDir = parser.InstallDir;
    config.ParentProcess = parser.ParentProcess;
}

// The installer's questions about an installed product (uninstall it first?).
// Returns false when the start-up must end.
bool HandleInstalledProduct(SetupConfig& config) {
    const char* name = config.ProgramName.c_str();
    // Unattended, nothing is uninstalled without asking: nothing installed.
    if (config.SilentMode) return EndRun(RunOutcome::kFailed);
    if (ShowMessage(kStyleQuestion, IDS_UNINSTALL_FIRST, name, name, name) != IDYES) {
        ShowMessage(kStyleDefault, IDS_INSTALL_END, name);
        return EndRun(RunOutcome::kDeclined);
    }
    switch (UninstallPrevious()) {
    case UninstallPreviousResult::kUninstalled:
        return true;
    case UninstallPreviousResult::kCannotStart:
        // Nothing ran, so the settings are as the backup has them; a backup
        // left behind would be copied over newer settings by every later run.
        DeleteKeyWithSubkeys(HKEY_CURRENT_USER, kSettingsBackupKeyPath);
        ShowMessage(kStyleStop, IDS_CANNOT_START_UNINSTALLER, name);
        return EndRun(RunOutcome::kFailed);
    case UninstallPreviousResult::kStillInstalled:
        break;
    }
    // The uninstaller may have removed the settings before it stopped: they
    // come back, and the backup goes, as after a reinstallation.
    RestoreSettingsBackup(true);
    ShowMessage(kStyleStop, IDS_ALREADY_INSTALLED, name);
    return EndRun(RunOutcome::kFailed);
}

// The licence must be accepted before anything is installed. The dialog is
// shown in silent mode too: accepting terms is never done unattended.
bool AcceptLicence(SetupConfig& config) {
    if (config.Startrtf.IsEmpty()) return true;
    BackgroundWnd* window = MainBackgroundWnd();
    if (RunLicenseDialog(window ? window->Handle() : nullptr) == IDOK) return true;
    ShowMessage(kStyleDefault, IDS_INSTALL_ABORTED, config.ProgramName.c_str());
    return EndRun(RunOutcome::kDeclined);
}

bool InitInstance() {
    SetupConfig& config = Config();
    config.SilentMode = false;
    ApplyCommandLine(config);

    if (!CheckWindowsVersion()) return EndRun(RunOutcome::kFailed);
    bool productRunning = PlatformIsNt() && IsProductRunning();
    RemoveStartupShortcut();

    if (config.UninstallMode && config.ParentProcess != 0) {
        theApp.UninstallerMutex = CreateMutexA(nullptr, TRUE, kUninstallerMutexName);
        // The relaunched copy is a temporary file of its own making: it goes
        // at the next restart whichever way this run ends (a refusal, its
        // window closed while "完了" waits, message 10).
        ScheduleSelfDeleteAtRestart();
    }

    ByteString modulePath = ModulePath();
    ModuleNameRule rule = ApplyModuleNameRule(modulePath.c_str());
    if (rule.StartedAsUninst) {
        config.UninstallMode = true;
        if (rule.Silent) config.SilentMode = true;
        config.InstallDir = rule.InstallDir;
    }

    if (config.UninstallMode) {
        if (config.InstallDir.IsEmpty()) {
            ShowMessage(kStyleStop, IDS_CANNOT_READ_UNINST_INF);
            return EndRun(RunOutcome::kFailed);
        }
        if (config.ScriptDir.IsEmpty()) config.ScriptDir = config.InstallDir;
    } else {
        config.ScriptDir = DirectoryOf(modulePath.c_str());
        int code = ExtractPackage();
        if (code != 0) {
            ShowMessage(kStyleStop, IDS_EXTRACT_FAILED, code);
            return EndRun(RunOutcome::kFailed);
        }
    }

    if (!ReadSetupScript(config.UninstallMode)) {
        ShowMessage(kStyleStop, IDS_CANNOT_READ_INF);
        return EndRun(RunOutcome::kFailed);
    }
    const char* name = config.ProgramName.c_str();
    if (productRunning) {
        ShowMessage(kStyleStop,
                    config.UninstallMode ? IDS_PRODUCT_RUNNING_UNINSTALL : IDS_PRODUCT_RUNNING_INSTALL,
                    name, name);
        return EndRun(RunOutcome::kFailed);
    }

    BackgroundWnd* window = CreateBackgroundWnd(theApp.Instance);
    if (!window) {
        // The system is out of window resources: message 1, the one that
        // says so, ends the run before anything is asked or changed.
        ShowMessage(kStyleDefault, IDS_NO_TIMER);
        return EndRun(RunOutcome::kFailed);
    }
    if (!config.SilentMode) {
        ShowWindow(window->Handle(), theApp.ShowCommand);
        UpdateWindow(window->Handle());
    }

    if (IsNtPlatform() && !IsAdministrator()) {
        ShowMessage(kStyleStop, IDS_NEED_ADMIN,
                    config.UninstallMode ? "アンインストール" : "インストール");
        return EndRun(RunOutcome::kFailed);
    }

    if (config.UninstallMode) {
        if (!FindUninstallEntry()) {
            ShowMessage(kStyleStop, IDS_NOT_INSTALLED, name);
            return EndRun(RunOutcome::kFailed);
        }
        bool ask = true;
        if (config.ParentProcess != 0) {
            ask = false;  // the relaunched copy: the first instance asked
        } else if (!rule.StartedAsUninst) {
            if (config.UnInstSilentMode != 0) {
                config.SilentMode = true;
                ask = false;
            } else {
                config.SilentMode = false;  // a -s switch is overridden
            }
        }
        if (ask && !config.SilentMode &&
            ShowMessage(kStyleQuestion, IDS_CONFIRM_UNINSTALL, name) != IDYES) {
            ShowMessage(kStyleDefault, IDS_UNINSTALL_END, name);
            return EndRun(RunOutcome::kDeclined);
        }
    } else {
        if (FindUninstallEntry() && !HandleInstalledProduct(config)) return false;
        if (!AcceptLicence(config)) return false;
    }

    // The installer has the last word on the backup: an uninstaller may run
    // as part of a reinstallation whose installer restores after it.
    RestoreSettingsBackup(!config.UninstallMode);

    if (config.UninstallMode) {
        if (config.ParentProcess == 0) {
            // The first instance relaunches itself from a temporary copy,
            // which then does the work, so that no installed executable runs
            // while the files are removed.
            // Its part of the job is done once the copy runs.
            switch (RelaunchFromTempCopy()) {
            case RelaunchResult::kStarted:
                return EndRun(RunOutcome::kDone);
            case RelaunchResult::kCommandTooLong:
                ShowMessage(kStyleStop, IDS_CANNOT_READ_UNINST_INF);
                break;
            case RelaunchResult::kFailed:
                break;
            }
            return EndRun(RunOutcome::kFailed);
        }
        // The relaunched copy waits until the first instance has ended, so
        // that no installed executable is running while files are removed.
        HANDLE parent = reinterpret_cast<HANDLE>(static_cast<intptr_t>(config.ParentProcess));
        WaitForSingleObject(parent, INFINITE);
        CloseHandle(parent);
    }

    StepHold = kStepRun;
    // Looked up again: the window may have gone in the modal loops since.
    window = MainBackgroundWnd();
    if (!window || !SetTimer(window->Handle(), kStepTimerId, kStepTimerPeriod, nullptr)) {
        ShowMessage(kStyleDefault, IDS_NO_TIMER);
        FatalExit(kExitNoTimer);
    }
    return true;
}

// Returns the exit code of the run: the outcome noted where it ended.
int ExitInstance() {
    RemoveExtractedFiles();
    if (theApp.UninstallerMutex) {
        ReleaseMutex(theApp.UninstallerMutex);
        CloseHandle(theApp.UninstallerMutex);
        theApp.UninstallerMutex = nullptr;
    }
    return ExitCodeOf(CurrentRunOutcome());
}

// Keyboard navigation for the modeless dialogs (copy progress, uninstall
// progress) that live beside the background window.
bool IsModelessDialogMessage(MSG* message) {
    HWND active = GetActiveWindow();
    if (!active) return false;
    char className[16];
    if (GetClassNameA(active, className, sizeof className) == 0 ||
        strcmp(className, "#32770") != 0) {
        return false;
    }
    return IsDialogMessageA(active, message) != FALSE;
}

}  // namespace

int RunSetupApp(HINSTANCE instance, int showCommand) {
    // Opened before anything reads it: from here on the file cannot be
    // replaced (see own_image_win.h).
    OwnImageFile();
    theApp.Instance = instance;
    theApp.ShowCommand = showCommand;
    if (InitInstance()) {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            if (IsModelessDialogMessage(&message)) continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    } else if (BackgroundWnd* window = MainBackgroundWnd()) {
        DestroyWindow(window->Handle());
    }
    return ExitInstance();
}
