// Directory strings and the texts built from them: the trailing backslash
// rules, the script's directory templates ("%s" for the installation
// directory) and the uninstall command line.
#pragma once

#include "base/path_text.h"
#include "base/text.h"

// path with a backslash appended when it does not end in one. An empty path
// stays empty: a backslash alone would name the root of the current drive.
ByteString WithTrailingBackslash(const char* path);
// path without its final backslash, when it has one.
ByteString WithoutTrailingBackslash(const char* path);

// Expands a template of the setup script with the installation directory.
// The template is script data, so it is never handed to a printf-style
// formatter: the first "%s" becomes directory, "%%" becomes "%", and every
// other "%" sequence (a second "%s", "%d", "%5s", a "%" at the end) is
// copied literally.
ByteString FormatDirTemplate(const char* format, const char* directory);

// The command line registered for the uninstaller: "\"" + installDir (ending
// in a backslash) + program + "\" " + argsFormat expanded with installDir
// without its trailing backslash. The path is quoted: unquoted, Windows would
// try "C:\Program.exe" first for a directory with blanks, and a directory
// holding " -p" would break the program path apart when the installer reads
// the command back. With an empty argsFormat the line ends in the blank.
ByteString BuildUninstallCommand(const char* installDir, const char* program,
                                 const char* argsFormat);
