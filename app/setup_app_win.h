// SetupApp: the application object. Runs InitInstance once, the message loop
// while the step timer drives the work, and ExitInstance at the end.
#pragma once

#include <windows.h>

// Runs the whole program; returns the process exit code: 0 when the run did
// its whole job, 1602 when the user declined or cancelled, 1603 otherwise
// (base/run_outcome.h). A step timer that cannot be started ends the process
// at once with 999.
int RunSetupApp(HINSTANCE instance, int showCommand);
