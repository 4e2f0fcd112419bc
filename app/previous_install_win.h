// The earlier installation: its Uninstall entry, the settings backup and the
// registry tree operations it uses.
#pragma once

#include <windows.h>

#include "base/text.h"

// The product's settings key and its backup, below HKEY_CURRENT_USER.
extern const char kSettingsKeyPath[];
extern const char kSettingsBackupKeyPath[];

// True when the product's Windows Uninstall entry exists (also under the
// half-width form of its name).
bool FindUninstallEntry();

// Reads "UninstallString" of the Uninstall entry (opened with KEY_ALL_ACCESS,
// under the half-width form of its name when the name itself does not open)
// into *command. False, leaving *command empty, when the entry or the value
// is missing or the value does not fit the 256-byte buffer (a cut command
// would name another program or directory).
bool ReadUninstallString(ByteString* command);

enum class UninstallPreviousResult { kUninstalled, kCannotStart, kStillInstalled };

// Runs the installed uninstaller before installing over the product: backs
// up the settings key, hides the main window, replaces the installed program
// (the program path of the UninstallString) with this installer's own
// executable, provides install.inf there when none is left, runs it with the
// UninstallString's arguments through RunAndWait, waits while a window titled
// like the uninstaller's is open, shows the main window again and removes the
// program's directory when it is empty. kCannotStart when the uninstaller
// could not be started (also when the UninstallString is missing, too long,
// or names no program file; nothing is copied then), kStillInstalled when
// the Uninstall entry is still there afterwards.
UninstallPreviousResult UninstallPrevious();

// Copies the settings backup over the settings key (nothing when there is no
// backup). With deleteBackup the backup key is deleted afterwards, but only
// when the whole tree was copied: a backup that was restored in part is kept
// for the next run to try again.
void RestoreSettingsBackup(bool deleteBackup);

// Copies the key tree src root\src path to dst root\dst path, replacing the
// destination tree. Does nothing (and returns false) when the source key is
// missing. Returns true only when every value and subkey was copied.
bool CopyKeyTree(HKEY srcRoot, HKEY dstRoot, const char* srcPath, const char* dstPath);

// Deletes root\path with all its subkeys; returns the Windows error code.
LONG DeleteKeyWithSubkeys(HKEY root, const char* path);
