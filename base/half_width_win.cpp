#include "base/half_width_win.h"

#include <windows.h>

#include "base/half_width.h"

ByteString ToHalfWidth(const char* text) {
    if (GetACP() != 932) return ByteString(text);
    return ToHalfWidthCp932(text);
}
