// The rules of the file installation that need no Windows: which package file
// a [Source] entry is installed from, and when a copy would copy a file onto
// itself.
#pragma once

#include <stddef.h>

#include "base/text.h"
#include "package/setup_config.h"

// How a [Source] code is handled at installation. "N", "9" and "0" are
// recognised by the first character, case-sensitively.
enum class SourceCode {
    kNotInstalled,  // begins with "N"
    kNamedPackage,  // begins with "9": installed from the package file named after the comma
    kOptional,      // begins with "0": installed when the package holds it
    kRequired,      // anything else ("1" among them): a missing package file is a failure
};
SourceCode ClassifySourceCode(const char* code);

// The name of the compressed form of a file: its last character replaced by
// "_" ("Orbelo.exe" -> "Orbelo.ex_"). A double-byte last character is
// replaced as a whole; no compressed form of such a name is ever stored, so
// the plain form is then taken. An empty name stays empty.
ByteString UnderscoreName(const char* name);

// The package file that CopyList[index] is installed from, looked for in
// ScriptDir before the plain name: empty for an entry that is not installed
// (and for an index out of range), the name after the first comma for "9",
// the underscore name otherwise. *optional is set for "0" entries and cleared
// for all others. A "9" value without a name after its comma is taken as
// required with its own name; one whose name does not stay inside ScriptDir
// (StaysInside) is not installed.
ByteString GetSourceName(const SetupConfig& config, size_t index, bool* optional);

// True when two paths name the same file as far as their text tells: equal
// apart from the case of ASCII letters (Windows file names ignore case).
bool IsSamePath(const char* a, const char* b);
