// The trailing-backslash rules of directory strings. A directory held for
// joining ends in a backslash; names are joined to it by concatenation.
#pragma once

#include <stddef.h>

#include "base/text.h"

// Longest installation directory accepted, in bytes with its backslash: the
// directory ends up in 260-byte platform buffers, so a longer one is refused
// rather than cut into a different path.
constexpr size_t kMaxDirectoryLength = 259;

// True when the last character of path is a backslash (a 0x5C trail byte of
// a double-byte character does not count).
bool EndsWithBackslash(const char* path);

// Appends a backslash unless the last character already is one (a trail byte
// 0x5C of a double-byte character does not count).
void EnsureTrailingBackslash(ByteString& path);
