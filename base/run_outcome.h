// How the run ends, as its exit code tells whoever started it. Deployment
// tools start "install.exe -s" and read the code; the values are the ones
// that the system's own installer service gives for the same outcomes, so
// those tools already understand them.
#pragma once

// Exit codes.
constexpr int kExitDone = 0;         // the whole job was done
constexpr int kExitDeclined = 1602;  // the user declined or cancelled
constexpr int kExitFailed = 1603;    // ended without doing the whole job
constexpr int kExitNoTimer = 999;    // the step timer could not be started

// Outcomes from the lightest to the gravest.
enum class RunOutcome { kUndecided, kDone, kDeclined, kFailed };

// The graver of two outcomes.
RunOutcome GraverOutcome(RunOutcome a, RunOutcome b);

// The exit code of an outcome. A run that ends with none decided did not
// say that it did its job (its window was closed half-way, say), so it ends
// as failed.
int ExitCodeOf(RunOutcome outcome);

// The run's outcome: one process-wide value, set where each ending happens.
// An outcome never makes a graver one already noted lighter: an
// uninstallation that could not delete a file has failed, even though it
// goes on to its regular end.
void NoteRunOutcome(RunOutcome outcome);
RunOutcome CurrentRunOutcome();
