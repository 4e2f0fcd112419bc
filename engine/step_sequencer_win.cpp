#include "engine/step_sequencer_win.h"

#include "base/messages_win.h"
#include "base/run_outcome.h"
#include "engine/file_install_win.h"
#include "engine/install_paths.h"
#include "engine/program_folder_win.h"
#include "engine/registry_entries_win.h"
#include "engine/step_rules.h"
#include "engine/step_state.h"
#include "engine/uninstall_win.h"
#include "package/copy_progress_dialog_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "ui/background_wnd_win.h"
#include "ui/dest_dir_dialog_win.h"

namespace {

void Perform(BackgroundWnd& window, StepOp op, StepReport* report) {
    const SetupConfig& config = Config();
    switch (op) {
    case StepOp::kAskDir:
        if (!StepAskDir()) report->cancelled = true;
        break;
    case StepOp::kOpenCopyDialog:
        window.ActiveProgress = CopyProgressDialog::Create(window.Handle());
        // Without the dialog there is nothing to copy through.
        if (!window.ActiveProgress) report->failed = true;
        break;
    case StepOp::kCopyListedFiles:
        if (!window.ActiveProgress || !CopyListedFiles(*window.ActiveProgress)) {
            report->failed = true;
        }
        break;
    case StepOp::kCopySystemFiles:
        if (!window.ActiveProgress || !CopySystemFiles(*window.ActiveProgress)) {
            report->failed = true;
        }
        break;
    case StepOp::kCloseCopyDialog:
        CopyProgressDialog::Destroy(window.ActiveProgress);
        window.ActiveProgress = nullptr;
        break;

    // Registration: best effort, nothing it finds changes the road.
    case StepOp::kCreateProgramFolder:
        CreateProgramFolder();
        break;
    case StepOp::kWriteUninstallEntry:
        WriteUninstallEntry(BuildUninstallCommand(config.InstallDir.c_str(),
                                                  config.UnInstallerProgram.c_str(),
                                                  config.UninstallArgsFormat.c_str())
                                .c_str());
        break;
    case StepOp::kWriteAppPath:
        WriteAppPath();
        break;
    case StepOp::kCreateDesktopIcons:
        CreateDesktopIcons();
        break;

    case StepOp::kOpenReadme:
        OpenReadme();
        break;
    case StepOp::kShowInstallEnd:
        ShowMessage(kStyleInformation, IDS_INSTALL_END, config.ProgramName.c_str());
        break;
    case StepOp::kRunMainProgram:
        RunMainProgram();
        break;

    case StepOp::kRemoveProgramFolder:
        RemoveProgramFolder();
        break;
    case StepOp::kRemoveRegistryEntries:
        RemoveRegistrationEntries();
        break;

    // The uninstall dialog shows each phase: its box takes the focus when
    // the phase starts and is checked when it ends.
    case StepOp::kOpenUninstallDialog:
        OpenUninstallDialog(window.Handle());
        break;
    case StepOp::kTickFolderRemoved:
        EndUninstallPhase(IDC_UNINST_FOLDER);
        StartUninstallPhase(IDC_UNINST_REGISTRY);
        break;
    case StepOp::kTickRegistryRemoved:
        EndUninstallPhase(IDC_UNINST_REGISTRY);
        StartUninstallPhase(IDC_UNINST_FILES);
        break;
    case StepOp::kFocusFileRemoval:
        StartUninstallPhase(IDC_UNINST_FILES);
        break;
    case StepOp::kRemoveFiles: {
        FileRemoval removal = RemoveInstalledFiles();
        if (!removal.systemFilesFound) report->failed = true;
        if (!removal.listedFilesGone) report->incomplete = true;
        break;
    }
    case StepOp::kTickFilesRemoved:
        EndUninstallPhase(IDC_UNINST_FILES);
        StartUninstallPhase(IDC_UNINST_DIRS);
        break;
    case StepOp::kRemoveDirectories:
        RemoveInstallDirectories();
        break;
    case StepOp::kTickDirectoriesRemoved:
        EndUninstallPhase(IDC_UNINST_DIRS);
        break;
    case StepOp::kRemoveDesktopLinks:
        RemoveDesktopIcons();
        break;
    case StepOp::kShowUninstallComplete:
        ShowUninstallComplete();
        break;

    case StepOp::kStopStepTimer:
        KillTimer(window.Handle(), kStepTimerId);
        break;
    case StepOp::kPauseBeforeEnd:
        Sleep(500);
        break;
    case StepOp::kShowUninstallEnd:
        ShowMessage(kStyleInformation, IDS_UNINSTALL_END, config.ProgramName.c_str());
        break;
    case StepOp::kShowInstallError:
        ShowMessage(kStyleDefault, IDS_INSTALL_ERROR, config.ProgramName.c_str());
        break;
    }
}

void Store(BackgroundWnd& window, const StepFlags& flags) {
    window.StepState = flags.state;
    StepBusy = flags.busy;
    StepHold = flags.hold;
}

StepFlags Load(const BackgroundWnd& window) {
    StepFlags flags;
    flags.state = window.StepState;
    flags.busy = StepBusy;
    flags.hold = StepHold;
    return flags;
}

}  // namespace

void OnStepTimer(BackgroundWnd& window) {
    const SetupConfig& config = Config();
    StepInputs inputs;
    inputs.silent = config.SilentMode;
    inputs.hasReadme = !config.Readme.IsEmpty();
    inputs.runProgram = config.Run != 0;

    StepFlags flags = Load(window);
    StepPlan plan = BeginStepTick(&flags, inputs);
    // Stored before the work: the ticks that the work's message loops deliver
    // must find the sequencer busy.
    Store(window, flags);
    if (!plan.proceeds) return;

    HWND handle = window.Handle();
    StepReport report;
    for (int i = 0; i < plan.count; ++i) Perform(window, plan.ops[i], &report);
    // A window destroyed during the work has taken its object along.
    if (!IsWindow(handle)) {
        StepBusy = false;
        return;
    }

    // The completion button may have released the hold meanwhile.
    flags = Load(window);
    StepEnd end = EndStepTick(&flags, plan, report, config.SilentMode);
    Store(window, flags);
    NoteRunOutcome(end.outcome);
    if (end.closeUninstallDialog) CloseUninstallDialog();
    if (end.destroyWindow) {
        // The copy dialog of a failed copy would go with its owner anyway;
        // freeing it here also frees the object.
        CopyProgressDialog::Destroy(window.ActiveProgress);
        window.ActiveProgress = nullptr;
        // The object is freed with its window: nothing may touch it after this.
        DestroyWindow(handle);
    }
}
