// The program folder in the Start menu with the shortcuts of the script's
// group sections, and the desktop icons. Everything is recomputed from
// SetupConfig at each call; nothing is recorded. All of it is best effort:
// nothing is shown, and a folder or shortcut that cannot be made or removed
// is left as it is.
#pragma once

#include "base/text.h"

// Path of a shell folder (CSIDL_...), without a trailing backslash; empty
// when the shell allocator or the folder cannot be obtained.
ByteString ShellFolderPath(int csidl);
// The Programs folder of the Start menu: all users' on the NT family, the
// user's own elsewhere. The desktop folder, likewise.
ByteString ProgramsFolderPath();
ByteString DesktopFolderPath();

// Creates the program folder(s) and their shortcuts; unless SilentMode,
// opens each folder in a shell window when InstDispProgramMenu is not 0
// (only a real directory is opened, never a file of that name). Creates
// nothing when the Programs folder cannot be found. Returns 1.
int CreateProgramFolder();
// Unless SilentMode, when UnInstDispProgramMenu is not 0: opens each
// existing folder (a real directory) in a shell window and waits two
// seconds. Then deletes the shortcuts and removes the folders, deepest
// first, as far as they are empty (a folder the user filled stays).
// Returns 1.
int RemoveProgramFolder();

// Creates one desktop shortcut per IconOnDesktop entry.
void CreateDesktopIcons();
// Deletes the desktop shortcuts that CreateDesktopIcons makes.
void RemoveDesktopIcons();

// Deletes the first entry of the user's Startup folder whose name contains
// the product's Japanese name. Best effort.
void RemoveStartupShortcut();
