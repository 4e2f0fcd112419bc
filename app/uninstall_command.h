// The installed product's uninstall command (the UninstallString of its
// Windows Uninstall entry) taken apart the way the installer runs it before
// installing over it: the program to replace and start, its directory, and
// the arguments to pass.
#pragma once

#include <stddef.h>

#include "base/text.h"

// Size of the buffers that hold the uninstall command and the command line
// built from it, terminating zero included.
constexpr size_t kUninstallCommandSize = 256;

// The command comes in two forms. This version registers the program path
// quoted: "\"C:\...\install.exe\" -u -p \"C:\...\"". Earlier versions
// registered it unquoted, and installations they made still hold that form:
// "C:\...\install.exe -u -p \"C:\...\"".
struct UninstallCommand {
    // The program path. Quoted form: the text between the first quote and
    // the next one (empty when no quote closes it). Unquoted form: without a
    // "-p" switch the whole command; otherwise the text before the switch,
    // cut three characters after its last "." (so "...\install.exe -u "
    // gives "...\install.exe"), or to its first three characters when it
    // holds no ".".
    ByteString ProgramPath;
    // ProgramPath up to and including its last backslash; the whole path
    // when it has none.
    ByteString Directory;
    // True when ProgramPath is run with Arguments: always in the quoted form
    // (once the quote closes), in the unquoted form when the command holds
    // the "-p" switch. Otherwise the whole command is the program to run,
    // without arguments.
    bool PassArguments = false;
    // The command after ProgramPath (and its closing quote), leading blanks
    // removed.
    ByteString Arguments;
};

// Takes command apart; a command that begins with a quote is of the quoted
// form. In the unquoted form the "-p" looked for is a switch: it starts an
// argument, after a blank or a tab, so a directory such as "C:\my-programs"
// does not end the program path early (one such as "C:\a -p b" does, which
// is why the path is now quoted).
UninstallCommand SplitUninstallCommand(const char* command);

// True when ProgramPath names a file in a directory: it has a backslash and
// a name after the last one. Anything else (an empty command, a cut that
// left "C:\") cannot be replaced or started.
bool NamesProgramFile(const UninstallCommand& command);

// Writes "\"ProgramPath\" Arguments" into buffer. False, leaving an empty
// string, when it does not fit.
bool BuildUninstallerCommandLine(const UninstallCommand& command,
                                 char (&buffer)[kUninstallCommandSize]);
