// The destination directory dialog and the installation step that shows it.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "ui/dest_dir_rules.h"

// Proposes the installation directory on the Windows drive, lets the user
// confirm or change it (the directory is created on the way) and leaves the
// current directory there. False when the user cancelled; the message saying
// so has been shown.
bool StepAskDir();

// Runs the dialog (template 101) modally with the proposal in
// Config().InstallDir. IDOK: InstallDir holds the validated directory with
// its backslash, the directory exists and is the current directory.
// IDCANCEL: cancelled. -1: the dialog could not be created.
int RunDestDirDialog(HWND owner);

// One OK attempt on the real file system: the validation of ValidateDestDir
// with SetCurrentDirectoryA, CreateDirectoryA and GetDiskFreeSpaceA.
DestDirVerdict ValidateDestDirOnDisk(const char* editText, uint32_t needBytes);
