// SetupApp: the application object. Runs InitInstance once, the message loop
// while the step timer drives the work, and ExitInstance at the end.
#pragma once

#include <windows.h>

// Runs the whole program; returns the process exit code (0).
int RunSetupApp(HINSTANCE instance, int showCommand);
