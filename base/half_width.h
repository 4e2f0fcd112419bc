// Half-width forms of code page 932 text.
#pragma once

#include "base/text.h"

// Maps full-width ASCII forms, kana and the full-width marks to their
// half-width single bytes; every other character is copied unchanged.
ByteString ToHalfWidthCp932(const char* text);
