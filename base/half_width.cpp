#include "base/half_width.h"

#include "base/half_width_table.h"

namespace {

// The half-width byte of the double-byte character code, or 0 when it has none.
unsigned char HalfWidthOf(unsigned code) {
    int low = 0;
    int high = kHalfWidthCount - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        if (kHalfWidthCodes[middle] == code) return kHalfWidthBytes[middle];
        if (kHalfWidthCodes[middle] < code) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return 0;
}

}  // namespace

ByteString ToHalfWidthCp932(const char* text) {
    ByteString result;
    for (const char* p = text; *p;) {
        size_t length = CharLength932(p);
        if (length == 2) {
            unsigned code = static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]);
            unsigned char half = HalfWidthOf(code);
            if (half) {
                result.Append(static_cast<char>(half));
                p += 2;
                continue;
            }
        }
        // A lead byte cut off by the terminating zero is copied as it stands.
        result.Append(p, length);
        p += length;
    }
    return result;
}
