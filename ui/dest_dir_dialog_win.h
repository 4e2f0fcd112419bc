// The destination directory dialog and the installation step that shows it.
#pragma once

#include <windows.h>

// Proposes the installation directory on the Windows drive, lets the user
// confirm or change it (the directory is created on the way) and leaves the
// current directory there. False when the user cancelled; the message saying
// so has been shown.
bool StepAskDir();
