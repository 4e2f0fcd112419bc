// The command line that starts the uninstaller's temporary copy.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Size of the buffer that the command line is built in, terminating zero
// included.
constexpr size_t kRelaunchCommandSize = 512;

// Writes "\"" + tempPath + "\" -u -p \" " + installDir + " \" -c " + the
// decimal handle into buffer (kRelaunchCommandSize bytes). The blank before
// the closing quote keeps the trailing backslash of installDir from escaping
// the quote; the copy's parser trims both blanks. The temporary path is
// quoted: a piece of it after a blank (a user folder such as "Ann -sato")
// would otherwise be read as a switch. Returns false, leaving an empty
// string, when the line does not fit (a shortened line would name another
// directory).
bool BuildRelaunchCommand(const char* tempPath, const char* installDir, int32_t parentHandle,
                          char (&buffer)[kRelaunchCommandSize]);
