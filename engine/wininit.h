// The [Rename] section of WININIT.INI, through which Windows 95, 98 and Me
// delete files at the next start: each line "NUL=path" deletes path.
#pragma once

#include <stddef.h>

#include "base/text.h"

// Returns text (the whole file; empty when it does not exist yet) with the
// line "NUL=" + path added at the end of the [Rename] section, which is
// created at the end of the file when missing. Earlier NUL lines stay: the
// profile functions would overwrite them, since every line of the section has
// the same key, and with them deletions that other programs had scheduled.
// Lines end in CR LF. Refuses (false, *result untouched) an empty path and
// one holding a line break, which would smuggle in other lines.
bool AddRenameDeletion(const char* text, size_t length, const char* path, ByteString* result);
