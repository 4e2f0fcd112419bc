// The step sequencer's rules: what one timer tick performs and how the step
// number, the busy flag and the hold change around it. Nothing here touches
// Windows: OnStepTimer asks BeginStepTick for the plan of the tick, performs
// its operations in order, reports what the work found, and lets EndStepTick
// settle the flags.
#pragma once

#include <stdint.h>

#include "base/run_outcome.h"
#include "engine/step_state.h"

// Step numbers (StepState). Any other value makes a tick do nothing.
constexpr int32_t kStepNotStarted = 0;
constexpr int32_t kStepAskDir = 1;
constexpr int32_t kStepOpenCopyDialog = 2;
constexpr int32_t kStepCopyFiles = 3;
constexpr int32_t kStepCloseCopyDialog = 4;
constexpr int32_t kStepRegister = 5;
constexpr int32_t kStepUninstallStart = 100;
constexpr int32_t kStepUninstallFiles = 101;
constexpr int32_t kStepUninstallFinish = 102;
constexpr int32_t kStepUninstalled = 9997;
constexpr int32_t kStepFailed = 9998;
constexpr int32_t kStepFinished = 9999;

// The operations a step consists of, in the order the plan lists them. The
// comments say what the work reports back (StepReport).
enum class StepOp : uint8_t {
    // Install road.
    kAskDir,               // cancelled: the user left the directory dialog
    kOpenCopyDialog,
    kCopyListedFiles,      // failed: at least one entry showed message 7
    kCopySystemFiles,      // failed: the first failure showed message 7
    kCloseCopyDialog,
    kCreateProgramFolder,
    kWriteUninstallEntry,
    kWriteAppPath,
    kCreateDesktopIcons,
    kOpenReadme,
    kShowInstallEnd,       // message 8, information icon
    kRunMainProgram,
    // Uninstall road.
    kOpenUninstallDialog,  // focus on check box 1013
    kRemoveProgramFolder,
    kTickFolderRemoved,    // check 1013, focus 1014
    kRemoveRegistryEntries,
    kTickRegistryRemoved,  // check 1014, focus 1015
    kFocusFileRemoval,     // focus 1015
    kRemoveFiles,          // failed: a system file was missing (message 7);
                           // incomplete: a listed file stayed (message 9)
    kTickFilesRemoved,     // check 1015, focus 1016
    kRemoveDirectories,
    kTickDirectoriesRemoved,  // check 1016
    kRemoveDesktopLinks,
    kShowUninstallComplete,   // enable 1019, text 24, focus 1019
    kStopStepTimer,
    kPauseBeforeEnd,       // 500 ms
    kShowUninstallEnd,     // message 16, information icon
    // End.
    kShowInstallError,     // message 10
};

// What the plan of a step depends on besides the step number.
struct StepInputs {
    bool silent = false;     // SilentMode
    bool hasReadme = false;  // Readme is not empty
    bool runProgram = false; // Run is not 0
};

// The sequencer's state: StepState, StepBusy, StepHold.
struct StepFlags {
    int32_t state = kStepNotStarted;
    bool busy = false;
    int32_t hold = kStepRun;
};

constexpr int kMaxStepOps = 8;

struct StepPlan {
    // False when the tick returns at once (a step is still running, or held).
    bool proceeds = false;
    // The step performed: StepState at the start of the tick.
    int32_t step = kStepNotStarted;
    StepOp ops[kMaxStepOps] = {};
    int count = 0;
    // Destroy the background window as the very last action of the tick,
    // after the flags have been stored.
    bool endsRun = false;
};

// What the work of a step found.
struct StepReport {
    bool failed = false;      // StepState becomes kStepFailed
    bool cancelled = false;   // StepState becomes kStepFinished
    bool incomplete = false;  // the road goes on, but the run has failed
};

// The beginning of a tick: releases a hold that the completion button
// released, returns a plan that does not proceed while a step runs, and
// otherwise marks the sequencer busy, stores the successor of the step in
// flags->state and lists the step's operations.
StepPlan BeginStepTick(StepFlags* flags, const StepInputs& inputs);

// What happens at the end of a tick besides the flags.
struct StepEnd {
    // Destroy the uninstall dialog (step 101 when the hold is already over).
    bool closeUninstallDialog = false;
    // Destroy the background window, after storing the flags.
    bool destroyWindow = false;
    // How the run ends, when this tick decides it: the user's cancel is
    // kDeclined, a failure or something left undone kFailed, the end of the
    // installation's last step or of the uninstallation's removal kDone.
    RunOutcome outcome = RunOutcome::kUndecided;
};

// The end of a tick that proceeded: a failure reported by the work overrides
// the successor with kStepFailed, a cancel with kStepFinished; step 101 sets
// the hold (released at once in silent mode); the busy flag is cleared unless
// the sequencer is now held; the outcome says how the run ends when the tick
// decides that.
StepEnd EndStepTick(StepFlags* flags, const StepPlan& plan, const StepReport& report, bool silent);
