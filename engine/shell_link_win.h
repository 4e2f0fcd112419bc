// Shortcut files (shell links, ".lnk") written through the shell's ShellLink
// object. Removal of a shortcut is plain file deletion by the callers.
#pragma once

#include <windows.h>
#include <shlobj.h>

// Longest link path in bytes that CreateShellLink accepts: the path is
// converted into a buffer of MAX_PATH wide characters, terminating zero
// included.
constexpr size_t kMaxLinkPathLength = MAX_PATH - 1;

// Writes the shortcut linkPath (full path with its ".lnk" extension, code
// page 932) to target with the given arguments, working directory, icon
// (empty: the target's own) and description. COM is initialised and
// uninitialised once per call, so any point of the GUI thread may call it.
// True when the link was saved. False, saving nothing, when the link object
// cannot be made, when the target or the description is refused, or when
// linkPath is longer than kMaxLinkPathLength bytes. A refused working
// directory, arguments or icon do not stop the link from being saved.
// Best effort: nothing is shown.
bool CreateShellLink(const char* linkPath, const char* description, const char* target,
                     const char* arguments, const char* workingDirectory, const char* iconPath,
                     int iconIndex);

// The work of CreateShellLink on a link object that the caller made (and
// keeps: it is not released here): fills it, asks it for IPersistFile and
// saves it. COM must be initialised.
bool SaveShellLink(IShellLinkA* link, const char* linkPath, const char* description,
                   const char* target, const char* arguments, const char* workingDirectory,
                   const char* iconPath, int iconIndex);
