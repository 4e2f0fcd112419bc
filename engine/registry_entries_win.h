// The registry entries of the installation: the Windows Uninstall entry, the
// App Paths entry of the main program, the Install key that records which
// directories and keys the installation created, and the [UnInstall] keys of
// the script. All values are REG_SZ strings in code page 932. Every operation
// is best effort: a failure ends it (or skips one item) silently.
#pragma once

#include <windows.h>
#include <stddef.h>

#include "base/text.h"

// Below HKEY_LOCAL_MACHINE.
extern const char kUninstallKeyPath[];  // SOFTWARE\...\CurrentVersion\Uninstall
extern const char kAppPathsKeyPath[];   // SOFTWARE\...\CurrentVersion\App Paths
extern const char kDefaultInstallKeyPath[];

// The Install key below HKEY_LOCAL_MACHINE: RegCreateDirectory, or the
// product family's built-in path when the script gives none.
ByteString InstallKeyPath();

// Writes HKLM\...\Uninstall\<RegUninstall> with DisplayName (ProgramName),
// UninstallString (uninstallCommand), DisplayIcon (InstallDir + MainProgram)
// and InstallLocation (InstallDir without its backslash); the Uninstall key
// is created when missing. Byte counts exclude the terminating zero. Does
// nothing when the entry would have no name. Always true.
bool WriteUninstallEntry(const char* uninstallCommand);
// Deletes the Uninstall entry named RegUninstall (ProgramName when empty).
void DeleteUninstallEntry();

// Sets the default value of HKLM\...\App Paths\<MainProgram> to InstallDir +
// MainProgram (terminating zero counted). Nothing when MainProgram is empty,
// which would name the App Paths key itself.
void WriteAppPath();
// Deletes HKLM\...\App Paths\<MainProgram>.
void DeleteAppPath();

// Records the directories that the installation created (createdChain,
// relative, no trailing backslash) as "CreateDirectory" under the Install
// key, and the keys of the Install key path that did not exist before as
// "CreateKeyPath" (empty when all existed); creates the Install key. True
// when the key could be created or opened and both values were written.
bool RecordCreatedItem(const char* createdChain);

// Size of the buffer that receives the recorded directory chain: one path.
constexpr size_t kRecordedChainSize = 260;

// Takes the record back at uninstallation: copies "CreateDirectory" into
// createdChain, which the caller has zeroed (left empty when nothing was
// recorded or the record does not fit the buffer: the uninstallation then
// removes no installation directory level), puts "CreateKeyPath" into
// *createdKeys (empty when absent), and deletes both values. True when the
// Install key existed. The uninstallation takes the record before it deletes
// the [UnInstall] keys, one of which may hold the Install key.
bool TakeRecordedItems(char (&createdChain)[kRecordedChainSize], ByteString* createdKeys);

// Deletes the Install key and the parents that the installation created
// (createdKeys, as taken back by TakeRecordedItems), innermost first, each
// only while it is empty; the first one that holds anything ends the climb.
// A key that is already gone (an [UnInstall] key held it) counts as deleted
// and the climb goes on above it. Keys that existed before the installation
// are never deleted.
void RemoveCreatedKeys(const char* createdKeys);

// Deletes every [UnInstall] key with its whole tree: the HCU items under
// HKEY_CURRENT_USER, then the HLM items under HKEY_LOCAL_MACHINE, each also
// as a value of that name in the parent key. Never creates anything: an item
// whose parent key is missing is skipped, as is one without a parent.
void DeleteListedKeys();

// Deletes subkey of key with all its subkeys and values: SHDeleteKeyA of the
// system's shlwapi.dll, or RegDeleteKeyA (which on the NT family deletes only
// a key without subkeys) when the library or the function is missing.
// Returns the Win32 status, 0 on success.
LONG DeleteKeyTree(HKEY key, const char* subkey);
