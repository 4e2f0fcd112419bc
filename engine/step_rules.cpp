#include "engine/step_rules.h"

namespace {

void Add(StepPlan* plan, StepOp op) {
    if (plan->count < kMaxStepOps) plan->ops[plan->count++] = op;
}

void AddUnlessSilent(StepPlan* plan, StepOp op, const StepInputs& inputs) {
    if (!inputs.silent) Add(plan, op);
}

}  // namespace

StepPlan BeginStepTick(StepFlags* flags, const StepInputs& inputs) {
    StepPlan plan;
    if (flags->hold == kStepReleased) {
        flags->busy = false;
        flags->hold = kStepRun;
    }
    // A tick that arrives through the message loop of a dialog or message box
    // that a step shows, or while the uninstall dialog waits for its button.
    if (flags->busy) return plan;
    plan.proceeds = true;
    flags->busy = true;
    plan.step = flags->state;

    // Each step stores its successor before its work, so that a failure in
    // the work can override it.
    switch (flags->state) {
    case kStepAskDir:
        flags->state = kStepOpenCopyDialog;
        Add(&plan, StepOp::kAskDir);
        break;
    case kStepOpenCopyDialog:
        flags->state = kStepCopyFiles;
        Add(&plan, StepOp::kOpenCopyDialog);
        break;
    case kStepCopyFiles:
        flags->state = kStepCloseCopyDialog;
        Add(&plan, StepOp::kCopyListedFiles);
        Add(&plan, StepOp::kCopySystemFiles);
        break;
    case kStepCloseCopyDialog:
        flags->state = kStepRegister;
        Add(&plan, StepOp::kCloseCopyDialog);
        break;
    case kStepRegister:
        flags->state = kStepFinished;
        Add(&plan, StepOp::kCreateProgramFolder);
        Add(&plan, StepOp::kWriteUninstallEntry);
        Add(&plan, StepOp::kWriteAppPath);
        Add(&plan, StepOp::kCreateDesktopIcons);
        if (inputs.hasReadme) AddUnlessSilent(&plan, StepOp::kOpenReadme, inputs);
        AddUnlessSilent(&plan, StepOp::kShowInstallEnd, inputs);
        // After the completion message, so that the product does not start
        // behind a box that still waits for the user.
        if (inputs.runProgram) Add(&plan, StepOp::kRunMainProgram);
        break;
    case kStepUninstallStart:
        flags->state = kStepUninstallFiles;
        AddUnlessSilent(&plan, StepOp::kOpenUninstallDialog, inputs);
        Add(&plan, StepOp::kRemoveProgramFolder);
        AddUnlessSilent(&plan, StepOp::kTickFolderRemoved, inputs);
        Add(&plan, StepOp::kRemoveRegistryEntries);
        AddUnlessSilent(&plan, StepOp::kTickRegistryRemoved, inputs);
        break;
    case kStepUninstallFiles:
        flags->state = kStepUninstallFinish;
        AddUnlessSilent(&plan, StepOp::kFocusFileRemoval, inputs);
        Add(&plan, StepOp::kRemoveFiles);
        AddUnlessSilent(&plan, StepOp::kTickFilesRemoved, inputs);
        Add(&plan, StepOp::kRemoveDirectories);
        AddUnlessSilent(&plan, StepOp::kTickDirectoriesRemoved, inputs);
        Add(&plan, StepOp::kRemoveDesktopLinks);
        AddUnlessSilent(&plan, StepOp::kShowUninstallComplete, inputs);
        break;
    case kStepUninstallFinish:
        flags->state = kStepUninstalled;
        // The copy's deletion at restart was scheduled when it started, so
        // that every ending of the copy has it.
        Add(&plan, StepOp::kStopStepTimer);
        Add(&plan, StepOp::kPauseBeforeEnd);
        AddUnlessSilent(&plan, StepOp::kShowUninstallEnd, inputs);
        plan.endsRun = true;
        break;
    case kStepFailed:
        Add(&plan, StepOp::kShowInstallError);
        plan.endsRun = true;
        break;
    case kStepUninstalled:
    case kStepFinished:
        plan.endsRun = true;
        break;
    default:
        break;
    }
    return plan;
}

StepEnd EndStepTick(StepFlags* flags, const StepPlan& plan, const StepReport& report,
                    bool silent) {
    StepEnd end;
    if (!plan.proceeds) return end;
    if (report.failed) {
        flags->state = kStepFailed;
        end.outcome = RunOutcome::kFailed;
    } else if (report.cancelled) {
        flags->state = kStepFinished;
        end.outcome = RunOutcome::kDeclined;
    } else if (report.incomplete) {
        end.outcome = RunOutcome::kFailed;
    } else if (plan.step == kStepFailed) {
        end.outcome = RunOutcome::kFailed;
    } else if (plan.step == kStepRegister || plan.step == kStepUninstallFiles) {
        // Installed, or everything removed: what follows only reports it.
        end.outcome = RunOutcome::kDone;
    }
    if (plan.step == kStepUninstallFiles) {
        if (silent) flags->hold = kStepReleased;
        if (flags->hold == kStepRun) {
            // Held: the busy flag stays set, so every tick returns at once
            // until the completion button releases the hold.
            flags->hold = kStepHeld;
        } else if (!silent) {
            end.closeUninstallDialog = true;
        }
    }
    if (flags->hold != kStepHeld) flags->busy = false;
    end.destroyWindow = plan.endsRun;
    return end;
}
