#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/step_rules.h"

namespace {

const char* OpName(StepOp op) {
    switch (op) {
    case StepOp::kAskDir: return "AskDir";
    case StepOp::kOpenCopyDialog: return "OpenCopyDialog";
    case StepOp::kCopyListedFiles: return "CopyListedFiles";
    case StepOp::kCopySystemFiles: return "CopySystemFiles";
    case StepOp::kCloseCopyDialog: return "CloseCopyDialog";
    case StepOp::kCreateProgramFolder: return "CreateProgramFolder";
    case StepOp::kWriteUninstallEntry: return "WriteUninstallEntry";
    case StepOp::kWriteAppPath: return "WriteAppPath";
    case StepOp::kCreateDesktopIcons: return "CreateDesktopIcons";
    case StepOp::kOpenReadme: return "OpenReadme";
    case StepOp::kShowInstallEnd: return "msg8";
    case StepOp::kRunMainProgram: return "RunMainProgram";
    case StepOp::kOpenUninstallDialog: return "OpenUninstallDialog";
    case StepOp::kRemoveProgramFolder: return "RemoveProgramFolder";
    case StepOp::kTickFolderRemoved: return "Tick1013";
    case StepOp::kRemoveRegistryEntries: return "RemoveRegistryEntries";
    case StepOp::kTickRegistryRemoved: return "Tick1014";
    case StepOp::kFocusFileRemoval: return "Focus1015";
    case StepOp::kRemoveFiles: return "RemoveFiles";
    case StepOp::kTickFilesRemoved: return "Tick1015";
    case StepOp::kRemoveDirectories: return "RemoveDirectories";
    case StepOp::kTickDirectoriesRemoved: return "Tick1016";
    case StepOp::kRemoveDesktopLinks: return "RemoveDesktopLinks";
    case StepOp::kShowUninstallComplete: return "Complete";
    case StepOp::kStopStepTimer: return "KillTimer";
    case StepOp::kPauseBeforeEnd: return "Pause";
    case StepOp::kShowUninstallEnd: return "msg16";
    case StepOp::kShowInstallError: return "msg10";
    }
    return "?";
}

// Drives the rules the way OnStepTimer does, with the work replaced by a log
// and by what each test lets an operation report. Ticks may nest: work can
// call Tick() to stand for a timer tick delivered by a modal loop.
struct Sequencer {
    StepFlags flags;
    StepInputs inputs;
    std::vector<std::string> log;
    bool destroyed = false;
    std::function<void(StepOp, StepReport*)> work;
    RunOutcome outcome = RunOutcome::kUndecided;

    void Tick() {
        if (destroyed) return;
        StepPlan plan = BeginStepTick(&flags, inputs);
        if (!plan.proceeds) return;
        StepReport report;
        for (int i = 0; i < plan.count; ++i) {
            log.push_back(OpName(plan.ops[i]));
            if (work) work(plan.ops[i], &report);
        }
        StepEnd end = EndStepTick(&flags, plan, report, inputs.silent);
        outcome = GraverOutcome(outcome, end.outcome);
        if (end.closeUninstallDialog) log.push_back("CloseUninstallDialog");
        if (end.destroyWindow) {
            log.push_back("Destroy");
            destroyed = true;
        }
    }

    void TickUntilDestroyed(int limit = 20) {
        for (int i = 0; i < limit && !destroyed; ++i) Tick();
    }
};

std::vector<std::string> Ops(std::initializer_list<const char*> names) {
    return std::vector<std::string>(names.begin(), names.end());
}

}  // namespace

TEST(StepRules, InstallRoadRunsEachStepOnceInOrder) {
    Sequencer s;
    s.flags.state = kStepAskDir;
    std::vector<int32_t> states;
    for (int i = 0; i < 8 && !s.destroyed; ++i) {
        s.Tick();
        states.push_back(s.flags.state);
        EXPECT_FALSE(s.flags.busy);
    }
    EXPECT_EQ(states, (std::vector<int32_t>{2, 3, 4, 5, 9999, 9999}));
    EXPECT_EQ(s.log, Ops({"AskDir", "OpenCopyDialog", "CopyListedFiles", "CopySystemFiles",
                          "CloseCopyDialog", "CreateProgramFolder", "WriteUninstallEntry",
                          "WriteAppPath", "CreateDesktopIcons", "msg8", "Destroy"}));
}

TEST(StepRules, RegisterStepOrderDependsOnSilentReadmeAndRun) {
    struct Case {
        bool silent, readme, run;
        std::vector<std::string> tail;  // after the registry and shortcut work
    } cases[] = {
        {false, true, true, Ops({"OpenReadme", "msg8", "RunMainProgram"})},
        {false, false, false, Ops({"msg8"})},
        {true, true, true, Ops({"RunMainProgram"})},
        {true, true, false, Ops({})},
    };
    for (const Case& c : cases) {
        Sequencer s;
        s.flags.state = kStepRegister;
        s.inputs = {c.silent, c.readme, c.run};
        s.Tick();
        std::vector<std::string> expected = Ops({"CreateProgramFolder", "WriteUninstallEntry",
                                                 "WriteAppPath", "CreateDesktopIcons"});
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        EXPECT_EQ(s.log, expected) << c.silent << c.readme << c.run;
        EXPECT_EQ(s.flags.state, kStepFinished);
        EXPECT_FALSE(s.destroyed);  // the next tick ends the run
    }
}

TEST(StepRules, NestedTicksDuringAStepDoNothing) {
    Sequencer s;
    s.flags.state = kStepAskDir;
    int nested = 0;
    s.work = [&](StepOp op, StepReport*) {
        if (op != StepOp::kAskDir) return;
        // The directory dialog's modal loop delivers ticks: each returns at once.
        for (int i = 0; i < 3; ++i) {
            StepFlags before = s.flags;
            s.Tick();
            ++nested;
            EXPECT_EQ(s.flags.state, before.state);
            EXPECT_TRUE(s.flags.busy);
        }
    };
    s.Tick();
    EXPECT_EQ(nested, 3);
    EXPECT_EQ(s.log, Ops({"AskDir"}));
    EXPECT_EQ(s.flags.state, kStepOpenCopyDialog);
    EXPECT_FALSE(s.flags.busy);
}

TEST(StepRules, UnstartedOrUnknownStateDoesNothingAndStaysIdle) {
    for (int32_t state : {0, 6, 99, 103, 9996, -1}) {
        Sequencer s;
        s.flags.state = state;
        s.Tick();
        s.Tick();
        EXPECT_TRUE(s.log.empty()) << state;
        EXPECT_EQ(s.flags.state, state);
        EXPECT_FALSE(s.flags.busy);
        EXPECT_EQ(s.flags.hold, kStepRun);
    }
}

TEST(StepRules, CancelInDirectoryStepEndsWithoutErrorMessage) {
    Sequencer s;
    s.flags.state = kStepAskDir;
    s.work = [](StepOp op, StepReport* report) {
        if (op == StepOp::kAskDir) report->cancelled = true;
    };
    s.TickUntilDestroyed();
    EXPECT_EQ(s.log, Ops({"AskDir", "Destroy"}));
    EXPECT_EQ(s.flags.state, kStepFinished);
}

TEST(StepRules, TwoFailingFilesGiveTwoCopyMessagesAndOneErrorMessage) {
    Sequencer s;
    s.flags.state = kStepAskDir;
    s.work = [&](StepOp op, StepReport* report) {
        if (op == StepOp::kCopyListedFiles) {
            // Two entries fail, each with its own message; the loop goes on.
            s.log.push_back("msg7 a.dll");
            s.log.push_back("msg7 b.dll");
            report->failed = true;
        }
        // The error box's modal loop delivers ticks too.
        if (op == StepOp::kShowInstallError) s.Tick();
    };
    s.TickUntilDestroyed();
    // The copy dialog is not closed by step 4: it goes with its owner window.
    EXPECT_EQ(s.log, Ops({"AskDir", "OpenCopyDialog", "CopyListedFiles", "msg7 a.dll",
                          "msg7 b.dll", "CopySystemFiles", "msg10", "Destroy"}));
}

TEST(StepRules, InteractiveUninstallHoldsUntilTheButtonReleases) {
    Sequencer s;
    s.flags.state = kStepUninstallStart;
    s.Tick();
    EXPECT_EQ(s.log, Ops({"OpenUninstallDialog", "RemoveProgramFolder", "Tick1013",
                          "RemoveRegistryEntries", "Tick1014"}));
    s.log.clear();
    s.Tick();
    EXPECT_EQ(s.log, Ops({"Focus1015", "RemoveFiles", "Tick1015", "RemoveDirectories",
                          "Tick1016", "RemoveDesktopLinks", "Complete"}));
    EXPECT_EQ(s.flags.hold, kStepHeld);
    EXPECT_TRUE(s.flags.busy);
    EXPECT_EQ(s.flags.state, kStepUninstallFinish);
    s.log.clear();
    for (int i = 0; i < 50; ++i) s.Tick();  // the user takes his time
    EXPECT_TRUE(s.log.empty());
    EXPECT_EQ(s.flags.hold, kStepHeld);

    s.flags.hold = kStepReleased;  // the completion button
    s.Tick();
    EXPECT_EQ(s.log, Ops({"KillTimer", "Pause", "msg16", "Destroy"}));
    EXPECT_EQ(s.flags.state, kStepUninstalled);
    EXPECT_EQ(s.flags.hold, kStepRun);
    EXPECT_FALSE(s.flags.busy);
}

TEST(StepRules, SilentUninstallRunsOnConsecutiveTicksWithoutDialogOrMessage) {
    Sequencer s;
    s.flags.state = kStepUninstallStart;
    s.inputs.silent = true;
    s.Tick();
    s.Tick();
    EXPECT_EQ(s.flags.hold, kStepReleased);
    EXPECT_FALSE(s.flags.busy);
    s.Tick();
    EXPECT_TRUE(s.destroyed);
    EXPECT_EQ(s.log, Ops({"RemoveProgramFolder", "RemoveRegistryEntries", "RemoveFiles",
                          "RemoveDirectories", "RemoveDesktopLinks", "KillTimer", "Pause",
                          "Destroy"}));
}

TEST(StepRules, MissingSystemFileAtUninstallFailsAfterTheHold) {
    Sequencer s;
    s.flags.state = kStepUninstallFiles;
    s.work = [](StepOp op, StepReport* report) {
        if (op == StepOp::kRemoveFiles) report->failed = true;
    };
    s.Tick();
    EXPECT_EQ(s.flags.state, kStepFailed);
    EXPECT_EQ(s.flags.hold, kStepHeld);
    s.log.clear();
    s.Tick();
    EXPECT_TRUE(s.log.empty());
    s.flags.hold = kStepReleased;
    s.Tick();
    EXPECT_EQ(s.log, Ops({"msg10", "Destroy"}));
}

TEST(StepRules, ReleaseBeforeTheEndOfStep101ClosesTheDialog) {
    Sequencer s;
    s.flags.state = kStepUninstallFiles;
    s.work = [&](StepOp op, StepReport*) {
        if (op == StepOp::kShowUninstallComplete) s.flags.hold = kStepReleased;
    };
    s.Tick();
    EXPECT_EQ(s.log.back(), "CloseUninstallDialog");
    EXPECT_FALSE(s.flags.busy);
    EXPECT_EQ(s.flags.hold, kStepReleased);
}

TEST(StepRules, EndStatesDestroyTheWindow) {
    struct Case {
        int32_t state;
        std::vector<std::string> log;
    } cases[] = {
        {kStepUninstalled, Ops({"Destroy"})},
        {kStepFinished, Ops({"Destroy"})},
        {kStepFailed, Ops({"msg10", "Destroy"})},
    };
    for (const Case& c : cases) {
        Sequencer s;
        s.flags.state = c.state;
        s.Tick();
        EXPECT_EQ(s.log, c.log) << c.state;
        EXPECT_EQ(s.flags.state, c.state);
        EXPECT_FALSE(s.flags.busy);
    }
}

// How each road ends decides the exit code: only a road that did its whole
// job is done; a file left at uninstallation fails the run although the road
// goes on to its regular end.
TEST(StepRules, EachEndingDecidesTheOutcome) {
    struct Case {
        const char* what;
        int32_t start;
        StepOp op;  // the operation that reports
        void (*report)(StepReport*);
        RunOutcome outcome;
        int32_t last;  // StepState when the window goes
    } cases[] = {
        {"installed", kStepAskDir, StepOp::kAskDir, [](StepReport*) {}, RunOutcome::kDone,
         kStepFinished},
        {"directory dialog cancelled", kStepAskDir, StepOp::kAskDir,
         [](StepReport* r) { r->cancelled = true; }, RunOutcome::kDeclined, kStepFinished},
        {"copy failed", kStepAskDir, StepOp::kCopyListedFiles,
         [](StepReport* r) { r->failed = true; }, RunOutcome::kFailed, kStepFailed},
        {"uninstalled", kStepUninstallStart, StepOp::kRemoveFiles, [](StepReport*) {},
         RunOutcome::kDone, kStepUninstalled},
        {"a listed file stayed", kStepUninstallStart, StepOp::kRemoveFiles,
         [](StepReport* r) { r->incomplete = true; }, RunOutcome::kFailed, kStepUninstalled},
        {"a system file was missing", kStepUninstallStart, StepOp::kRemoveFiles,
         [](StepReport* r) { r->failed = true; }, RunOutcome::kFailed, kStepFailed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool silent : {false, true}) {
            Sequencer s;
            s.flags.state = c.start;
            s.inputs.silent = silent;
            s.work = [&](StepOp op, StepReport* report) {
                if (op == c.op) c.report(report);
                // The completion button, pressed as soon as it is there.
                if (op == StepOp::kShowUninstallComplete) s.flags.hold = kStepReleased;
            };
            s.TickUntilDestroyed();
            EXPECT_TRUE(s.destroyed);
            EXPECT_EQ(s.flags.state, c.last);
            EXPECT_EQ(static_cast<int>(s.outcome), static_cast<int>(c.outcome)) << silent;
        }
    }
}

// The removal done, the uninstallation has done its job even when its window
// is closed while "完了" waits; before that nothing is decided.
TEST(StepRules, UninstallationIsDoneOnceTheRemovalIsDone) {
    Sequencer s;
    s.flags.state = kStepUninstallStart;
    s.Tick();
    EXPECT_EQ(static_cast<int>(s.outcome), static_cast<int>(RunOutcome::kUndecided));
    s.Tick();
    EXPECT_EQ(s.flags.hold, kStepHeld);
    EXPECT_EQ(static_cast<int>(s.outcome), static_cast<int>(RunOutcome::kDone));
}
