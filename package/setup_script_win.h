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
//
// The API reads the file again for every question, which makes a script of
// a thousand files take most of a second under Wine. So the lines of the
// section last asked are read once (GetPrivateProfileSectionA), and a key is
// answered from them where no reading of the file could differ: its first
// line is ASCII key=value, the value neither quoted, nor edged by white
// space, nor cut by the buffer; or no line has the key, and the default is
// such a value. Any other question, any question about a Unicode file, and
// a section too large for memory go to GetPrivateProfileStringA.
class ProfileApiSource : public ProfileSource {
public:
    explicit ProfileApiSource(const char* path);
    ~ProfileApiSource();
    ProfileApiSource(const ProfileApiSource&) = delete;
    ProfileApiSource& operator=(const ProfileApiSource&) = delete;
    ByteString GetValue(const char* section, const char* key, const char* def,
                        size_t bufferSize) const override;
    StringList GetKeyNames(const char* section, size_t bufferSize) const override;

private:
    bool FromSectionLines(const char* section, const char* key, const char* def,
                          size_t bufferSize, ByteString* value) const;

    ByteString path_;
    mutable ByteString linesSection_;  // whose lines lines_ holds
    mutable char* lines_ = nullptr;    // "key=value" strings, an empty one last
};

// The system's conversion of a Unicode script into the ANSI code page, the
// one that the profile API applies (an UnicodeToAnsi): UTF-8 through
// MultiByteToWideChar, then WideCharToMultiByte, whose best fit or default
// character stands in for what the code page lacks. text and size exclude
// the byte-order mark. False when the text is too large to convert or memory
// runs out.
bool ConvertScriptText(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                       ByteString* inexact);
