#include "base/path_text.h"

#include <string.h>

bool EndsWithBackslash(const char* path) {
    int last = MbFindLast(path, '\\');
    return last >= 0 && static_cast<size_t>(last) + 1 == strlen(path);
}

void EnsureTrailingBackslash(ByteString& path) {
    if (!EndsWithBackslash(path.c_str())) path.Append('\\');
}
