// Path arithmetic of the uninstallation: which directories it removes and in
// which order. Names are code page 932; every "\" is found multibyte-aware,
// so a 0x5C trail byte never splits a name. Nothing here touches Windows.
#pragma once

#include "base/text.h"

// The subdirectories of the installation directory that the [Source] names
// use, to be removed (when empty) after the files: for each name every
// directory prefix, longest first ("a\b\c.txt" gives "a\b", then "a"), each
// prefix listed once, in order of discovery. Names without a backslash add
// nothing; a wildcard name adds the directories of its pattern.
StringList UninstallSubdirectories(const StringList& copyList);

// The directory part of a wildcard name, with its trailing backslash, to put
// before every entry that the pattern finds ("sub\*.tmp" gives "sub\"); empty
// for a pattern in the installation directory itself.
ByteString PatternDirectory(const char* pattern);

// Number of directory levels in the recorded chain of created directories
// ("Quorvane\Orbelo_Sample" gives 2); 0 when nothing was recorded. Empty
// components (a doubled or trailing backslash) name no directory.
int CreatedLevelCount(const char* createdChain);

// The directories that the uninstallation may remove once the files are
// gone, innermost first: the installation directory (installDir, ending in
// a backslash, taken without it), then its parents, one for each level of
// the chain. Only a chain that is the tail of the installation directory,
// compared level by level without regard to the case of ASCII letters,
// names levels that this installation created; any other chain (a record
// left by an earlier installation elsewhere, one longer than the path below
// its drive's root) names none, and nothing is listed. The root of a drive
// is never listed. Each is removed only while empty, and the climb stops at
// the installation directory when that one keeps entries.
StringList ClimbDirectories(const char* installDir, const char* createdChain);
