// The file work of the installation: the [Source] files into the
// installation directory, the system files into the system directory, the
// readme and the start of the installed program; and the deletion of a file at
// the next restart of Windows.
#pragma once

#include <windows.h>
#include <stdint.h>

class CopyProgressDialog;

// Installs one CopyList entry: from ScriptDir + packageName, or from
// ScriptDir + listName when the package holds only the plain form, to
// InstallDir + listName. Required: a missing package file or a failed copy
// shows message 7 with listName and sets *failed. A missing optional file is
// skipped silently (0). A file that already is its own source (the installer
// runs from the installation directory) is left alone and only counted for
// the bar (-1, no failure). Otherwise returns CopyPackageFile's result.
int CopyListedFile(CopyProgressDialog& dialog, const char* listName, const char* packageName,
                   bool optional, bool* failed);

// Installs every CopyList entry in order; a failing entry does not stop the
// others. Returns false when any entry failed.
bool CopyListedFiles(CopyProgressDialog& dialog);

// Installs the SystemFiles entries into the system directory, from their
// compressed form only, never replacing a file that is already there,
// except one recorded for deletion at the next restart (what uninstalling
// an earlier version leaves): that one is replaced, at once when nothing
// holds it, otherwise at the restart, and its deletion is taken back. The
// first failure (package file missing, file present, copy failed, system
// directory path too long) shows message 7 with the full package path and
// ends the loop: returns false.
bool CopySystemFiles(CopyProgressDialog& dialog);

// Opens InstallDir + Readme in Notepad without waiting. Best effort.
void OpenReadme();

// Starts InstallDir + MainProgram, in InstallDir, without waiting; shows
// message 53 with the program path when it cannot be started.
void RunMainProgram();

// Arranges for path to be deleted at the next restart of Windows: on the NT
// family through MoveFileExA, elsewhere by a NUL line in the [Rename] section
// of WININIT.INI in the Windows directory. Best effort; the result is for
// tests. The second form takes the platform and the WININIT.INI path as plain
// values (the Windows 95/98/Me branch cannot run on this side otherwise).
bool ScheduleDeleteAtRestart(const char* path);
bool ScheduleDeleteAtRestart(const char* path, bool ntFamily, const char* wininitPath);

// ScheduleDeleteAtRestart for the running executable. False, doing nothing,
// when its path does not fit the 260-byte buffer.
bool ScheduleSelfDeleteAtRestart();
