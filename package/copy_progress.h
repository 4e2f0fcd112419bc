// The arithmetic of the file copy: the percentage that the copy dialog's bar
// shows, and the directories that a destination path needs.
#pragma once

#include <stdint.h>

#include "base/text.h"

// Percentage of the installation copied so far: copiedBytes ÷ needBytes × 100,
// truncated toward zero. needBytes is the script's DstNeedSpace. Values above
// 100 pass through (the script's need was too small); the result is clamped
// to the int32_t range. The script may
// omit DstNeedSpace (0): then nothing can be measured against it, and the bar
// shows 0 until the first byte is copied and 100 from then on.
int32_t CopyPercent(int64_t copiedBytes, uint32_t needBytes);

// The directory prefixes of destination that must exist before the file can
// be created, outermost first: the text before every "\" found from the
// second byte on ("C:\A\B\f.exe" gives "C:", "C:\A", "C:\A\B"). The search
// skips trail bytes of double-byte characters; starting at the second byte
// keeps a leading "\" from giving an empty prefix.
StringList DestinationPrefixes(const char* destination);
