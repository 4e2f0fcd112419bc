// Fuzzes the code page 932 helpers with arbitrary bytes.
#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include "base/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteString text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();  // stops at the first zero byte
    MbFind(s, '\\');
    MbFindLast(s, ',');
    MbCount(s, '\\');
    MbFindText(s, "uninst.exe");
    ByteString lowered = MbToLower(s);
    ByteString trimmed = TrimSpaces(s);
    if (lowered.Length() != strlen(s) || trimmed.Length() > strlen(s)) __builtin_trap();
    ParseLong(s);
    return 0;
}
