// The uninstallation: the UninstallDialog that shows its four phases and
// waits for "完了", and the removal of the installed files and directories
// (uninstall step 101). The program folder, the registry entries and the
// desktop icons are removed by the operations of the program folder and the
// registry entries; the sequencer calls them between these.
#pragma once

#include <windows.h>

// The UninstallDialog (template 110): one process-wide modeless dialog
// owned by the background window (so it stays in front of it), captioned ProgramName + " アンインストーラ", with message 18
// in its text and the four phase check boxes 1013 (program folder), 1014
// (registry entries), 1015 (files), 1016 (directories). The check boxes are
// only changed by the program. "完了" (1019) is disabled until
// ShowUninstallComplete; pressing it then releases the sequencer's hold
// (StepHold := 2) and destroys the dialog.
//
// Escape and the close command (Alt+F4) never end the dialog while the
// removal runs, since the hold would then have no button left to release
// it; once "完了" is enabled they act like "完了".

// Creates and shows the dialog, owned by owner (nothing when it already
// exists), and gives check box 1013 the focus. False when the window cannot
// be created; the phase operations below then do nothing.
bool OpenUninstallDialog(HWND owner);
// The dialog window, or null when there is none.
HWND UninstallDialogHandle();
// A phase starts: its check box gets the keyboard focus.
void StartUninstallPhase(int checkBoxId);
// A phase ends: its check box is checked.
void EndUninstallPhase(int checkBoxId);
// The end: enables "完了", shows message 24 with ProgramName and gives the
// button the focus.
void ShowUninstallComplete();
// Destroys the dialog if it exists.
void CloseUninstallDialog();

// What the removal of the files found.
struct FileRemoval {
    // False after message 7 for a system file missing from the system
    // directory.
    bool systemFilesFound = true;
    // False when a listed file of type "1" or "5" stayed (message 9).
    bool listedFilesGone = true;
};

// Removes the files of the installation, in this order: every CopyList
// entry (InstallDir + name; a name with "*" removes every file its pattern
// matches), the SystemFiles entries (scheduled for deletion at the next
// restart), and every InstallDir + "*.GID" file. A listed file of type "1" or
// "5" that cannot be deleted shows message 9 with its name (a read-only one
// is made writable and deleted; one that is already gone counts as deleted)
// and the removal goes on; failures of other types are silent. At the first
// system file missing from the system directory, message 7 with its path is
// shown and no further system file is looked at; the rest of the removal
// still runs.
FileRemoval RemoveInstalledFiles();

// The registration entries, in this order: the Uninstall entry, the App
// Paths entry, the Startup shortcut, the Install key record (taken back and
// kept for RemoveInstallDirectories), the [UnInstall] keys, and then the
// Install key and its parents as far as the installation created them. The
// record is taken before any [UnInstall] key goes, since one of them may
// hold the Install key. Best effort: nothing is reported.
void RemoveRegistrationEntries();

// Removes the directories: first the subdirectories that the CopyList names
// use (when empty, 100 ms apart), then the installation directory and as
// many of its parents as the record that RemoveRegistrationEntries took back
// says the installation created, innermost first, each only while empty.
// Nothing is removed above an installation directory that still holds
// entries, and nothing when the installation created no directory (or the
// record was not taken).
void RemoveInstallDirectories();
