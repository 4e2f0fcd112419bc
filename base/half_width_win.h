// Half-width forms under the system's ANSI code page.
#pragma once

#include "base/text.h"

// ToHalfWidthCp932(text) when the ANSI code page is 932; otherwise a copy of
// text, since the mapping only means something for code page 932 bytes.
ByteString ToHalfWidth(const char* text);
