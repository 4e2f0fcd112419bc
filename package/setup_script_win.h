// Reads ScriptDir + "install.inf" into SetupConfig, answering as the profile
// API would.
#pragma once

#include <stddef.h>

#include "base/text.h"
#include "package/profile.h"

// Returns false only when the script file does not exist.
bool ReadSetupScript(bool uninstallMode);

// The system's conversion of a Unicode script into the ANSI code page, the
// one that the profile API applies (an UnicodeToAnsi): UTF-8 through
// MultiByteToWideChar, then WideCharToMultiByte, whose best fit or default
// character stands in for what the code page lacks. text and size exclude
// the byte-order mark. False when the text is too large to convert or memory
// runs out.
bool ConvertScriptText(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                       ByteString* inexact);
