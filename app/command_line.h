// The command line of install.exe: splitting into arguments, the switches,
// and the rule that a module named like "uninst.exe" is the uninstaller.
#pragma once

#include <stdint.h>

#include "base/path_text.h"
#include "base/text.h"

// Splits a command line by the rules of the Windows C runtime: blanks and tabs
// separate arguments, double quotes group, 2n backslashes before a quote give
// n backslashes and the quote groups, 2n+1 give n backslashes and a literal
// quote, other backslashes are literal, and "" inside a quoted part gives one
// quote. The program name (first argument) is only cut at quotes and blanks.
// A double-byte character is copied whole, so its 0x5C trail byte is never
// taken for a backslash.
void SplitCommandLine(const char* commandLine, StringList& arguments);

// The per-argument parser of the switches -u, -s, -p DIR and -c HANDLE.
class SetupCommandLine {
public:
    // Handles one argument after the program name.
    void ParseArgument(const char* argument);

    bool UninstallMode = false;
    bool SilentMode = false;
    bool HasInstallDir = false;
    ByteString InstallDir;  // ends in a backslash when HasInstallDir
    int32_t ParentProcess = 0;

    bool PathPending = false;
    bool HandlePending = false;
};

// The module-name rule: a file name containing "uninst.exe" (compared in lower
// case) selects the uninstaller, " -s" after that match selects silent mode,
// and the executable's directory becomes the installation directory.
struct ModuleNameRule {
    bool StartedAsUninst = false;
    bool Silent = false;
    ByteString InstallDir;  // the module's directory with its backslash, trimmed
};
ModuleNameRule ApplyModuleNameRule(const char* modulePath);

// Drive and directory of a full path, with its trailing backslash, trimmed
// at both ends (empty when the path holds no backslash).
ByteString DirectoryOf(const char* path);
