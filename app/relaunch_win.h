// The uninstaller's relaunch from a temporary copy, and the installer's wait
// for an uninstaller that it starts. The relaunched copy owns the mutex
// kUninstallerMutexName for its whole life, so whoever started the first
// instance can wait until the whole uninstallation is over.
#pragma once

#include <windows.h>

#include "base/text.h"

extern const char kUninstallerMutexName[];  // "Quorvane_UnInstaller"

enum class RelaunchResult {
    kStarted,
    // Something failed on the way (no temporary file, no copy, no process);
    // nothing is uninstalled and nothing is shown.
    kFailed,
    // The temporary path and the installation directory do not fit the
    // command line of the copy; the caller refuses with a message.
    kCommandTooLong,
};

// Writes the running executable (as opened at start) into a new "Del"
// temporary file that only administrators can use, reopens it for reading
// only, shared for reading only, so that nobody can write, rename or delete
// it, and returns that handle; the copy can still be started while it is
// held. INVALID_HANDLE_VALUE, with path empty and nothing left behind, on
// failure.
HANDLE CreateHeldCopy(ByteString* path);

// Makes the held copy above and starts it, named as the application, with
// "\"<copy>\" -u -p \" InstallDir \" -c <handle>", where handle is an inheritable
// SYNCHRONIZE handle of this process; then waits until the copy holds the
// mutex or has ended (30 s at most) and a second more, so that whoever waits
// for this process finds the mutex taken. The temporary file is deleted again
// when the copy cannot be started.
RelaunchResult RelaunchFromTempCopy();

// Starts application / commandLine (either may be null, as for
// CreateProcessA; commandLine must be writable) with the default show state,
// waits until it is idle for input and then until it has ended, pauses a
// second and then waits, without time-out, for the mutex that a relaunched
// uninstaller copy holds until it ends. False only when the process could
// not be started.
bool RunAndWait(const char* application, char* commandLine);
