// The earlier installation: its Uninstall entry, the settings backup and the
// registry tree operations it uses, and the Startup shortcut clean-up.
#pragma once

#include <windows.h>

#include "app/text.h"

// True when the product's Windows Uninstall entry exists (also under the
// half-width form of its name).
bool FindUninstallEntry();

// Copies the key tree src root\src path to dst root\dst path, replacing the
// destination tree. Does nothing (and returns false) when the source key is
// missing. Returns true only when every value and subkey was copied.
bool CopyKeyTree(HKEY srcRoot, HKEY dstRoot, const char* srcPath, const char* dstPath);

// Deletes root\path with all its subkeys; returns the Windows error code.
LONG DeleteKeyWithSubkeys(HKEY root, const char* path);

// Deletes the first entry of the user's Startup folder whose path contains
// the product's Japanese name. Best effort.
void RemoveStartupShortcut();
