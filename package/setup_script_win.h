// Reads ScriptDir + "install.inf" into SetupConfig through the profile API.
#pragma once

#include <stddef.h>

#include "base/text.h"
#include "package/profile.h"

// Returns false only when the script file does not exist. The script is read
// through the profile API, question by question, so that the installer
// carries no reader of its own; IniProfile gives the tools the same answers.
bool ReadSetupScript(bool uninstallMode);

// The answers of GetPrivateProfileStringA for the file at path (bufferSize
// bytes, as for the API), less a lead byte left without its trail at the
// end of a cut value. A value whose buffer cannot be allocated reads as def.
class ProfileApiSource : public ProfileSource {
public:
    explicit ProfileApiSource(const char* path);
    ByteString GetValue(const char* section, const char* key, const char* def,
                        size_t bufferSize) const override;
    StringList GetKeyNames(const char* section, size_t bufferSize) const override;

private:
    ByteString path_;
};

// The system's conversion of a Unicode script into the ANSI code page, the
// one that the profile API applies (an UnicodeToAnsi): UTF-8 through
// MultiByteToWideChar, then WideCharToMultiByte, whose best fit or default
// character stands in for what the code page lacks. text and size exclude
// the byte-order mark. False when the text is too large to convert or memory
// runs out.
bool ConvertScriptText(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                       ByteString* inexact);
