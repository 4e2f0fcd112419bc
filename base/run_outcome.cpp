#include "base/run_outcome.h"

namespace {

RunOutcome g_outcome = RunOutcome::kUndecided;

}  // namespace

RunOutcome GraverOutcome(RunOutcome a, RunOutcome b) {
    return static_cast<int>(a) >= static_cast<int>(b) ? a : b;
}

int ExitCodeOf(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::kDone:
        return kExitDone;
    case RunOutcome::kDeclined:
        return kExitDeclined;
    case RunOutcome::kUndecided:
    case RunOutcome::kFailed:
        break;
    }
    return kExitFailed;
}

void NoteRunOutcome(RunOutcome outcome) { g_outcome = GraverOutcome(g_outcome, outcome); }

RunOutcome CurrentRunOutcome() { return g_outcome; }
