#include "base/half_width.h"

#include "base/half_width_table.h"

namespace {

// The half-width byte of the double-byte character lead, trail, or 0 when it
// has none. Full-width digits and Latin letters follow ASCII order; the
// hiragana 0x829F..0x82F1 and the katakana 0x8340..0x8396 (where trail byte
// 0x7F is no character) follow the same kana order, which the table gives.
unsigned char HalfWidthOf(unsigned char lead, unsigned char trail) {
    if (lead == 0x81) {
        return trail >= 0x40 && trail < 0x40 + kSymbolCount ? kSymbolHalfWidth[trail - 0x40] : 0;
    }
    if (lead == 0x82) {
        if (trail >= 0x4F && trail <= 0x58) return static_cast<unsigned char>(trail - 0x4F + '0');
        if (trail >= 0x60 && trail <= 0x79) return static_cast<unsigned char>(trail - 0x60 + 'A');
        if (trail >= 0x81 && trail <= 0x9A) return static_cast<unsigned char>(trail - 0x81 + 'a');
        if (trail >= 0x9F && trail <= 0xF1) return kKanaHalfWidth[trail - 0x9F];
        return 0;
    }
    if (lead == 0x83 && trail >= 0x40 && trail != 0x7F) {
        unsigned place = trail - 0x40u - (trail > 0x7F ? 1 : 0);
        return place < static_cast<unsigned>(kKanaCount) ? kKanaHalfWidth[place] : 0;
    }
    return 0;
}

}  // namespace

ByteString ToHalfWidthCp932(const char* text) {
    ByteString result;
    for (const char* p = text; *p;) {
        size_t length = CharLength932(p);
        if (length == 2) {
            unsigned char half =
                HalfWidthOf(static_cast<unsigned char>(p[0]), static_cast<unsigned char>(p[1]));
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
