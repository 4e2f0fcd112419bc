#include "tools/mkpackage/script_text.h"

#include <stdio.h>

#include "tools/mkpackage/host.h"

namespace {

// Length of the well-formed UTF-8 sequence at text[at] (1 to 4), or 0: no
// overlong forms, no surrogates, nothing above U+10FFFF. *codePoint is set.
size_t Utf8Sequence(const std::vector<uint8_t>& text, size_t at, uint32_t* codePoint) {
    uint8_t lead = text[at];
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    size_t length;
    uint32_t value, minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        uint8_t next = text[at + k];
        if ((next & 0xC0) != 0x80) return 0;
        value = value << 6 | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *codePoint = value;
    return length;
}

// Line (from 1) of the first byte of text from `from` that is no
// well-formed UTF-8, or 0 when all of it is.
size_t FirstMalformedLine(const std::vector<uint8_t>& text, size_t from) {
    size_t line = 1;
    for (size_t at = from; at < text.size();) {
        uint32_t codePoint;
        size_t length = Utf8Sequence(text, at, &codePoint);
        if (length == 0) return line;
        if (codePoint == '\n') ++line;
        at += length;
    }
    return 0;
}

bool HasHighBytes(const std::vector<uint8_t>& text) {
    for (uint8_t c : text) {
        if (c >= 0x80) return true;
    }
    return false;
}

// UTF-16 text after its byte-order mark as UTF-8; false, with the line (from
// 1) of the fault in *badLine, for an odd byte count or an unpaired
// surrogate.
bool Utf16ToUtf8(const std::vector<uint8_t>& bytes, bool bigEndian, std::vector<uint8_t>* utf8,
                 size_t* badLine) {
    utf8->clear();
    *badLine = 1;
    auto unitAt = [&](size_t at) -> uint32_t {
        return bigEndian ? (bytes[at] << 8 | bytes[at + 1]) : (bytes[at + 1] << 8 | bytes[at]);
    };
    for (size_t at = 2; at < bytes.size(); at += 2) {
        if (at + 1 >= bytes.size()) return false;
        uint32_t code = unitAt(at);
        if (code >= 0xDC00 && code <= 0xDFFF) return false;
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (at + 3 >= bytes.size()) return false;
            uint32_t low = unitAt(at + 2);
            if (low < 0xDC00 || low > 0xDFFF) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            at += 2;
        }
        if (code == '\n') ++*badLine;
        if (code < 0x80) {
            utf8->push_back(static_cast<uint8_t>(code));
        } else if (code < 0x800) {
            utf8->push_back(static_cast<uint8_t>(0xC0 | code >> 6));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            utf8->push_back(static_cast<uint8_t>(0xE0 | code >> 12));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code >> 6 & 0x3F)));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
        } else {
            utf8->push_back(static_cast<uint8_t>(0xF0 | code >> 18));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code >> 12 & 0x3F)));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code >> 6 & 0x3F)));
            utf8->push_back(static_cast<uint8_t>(0x80 | (code & 0x3F)));
        }
    }
    return true;
}

const char kSaveHint[] =
    "; save the script as Shift-JIS (code page 932), or as UTF-8 with characters that "
    "code page 932 has";

}  // namespace

namespace {

// The UTF-8 text from `start` converted to code page 932 into *packed.
ScriptEncoding ConvertUtf8(const std::vector<uint8_t>& bytes, size_t start,
                           std::vector<uint8_t>* packed, std::string* problem) {
    // Converted a line at a time, so that a character without a code page
    // 932 form is found with its line.
    size_t line = 1;
    for (size_t at = start; at < bytes.size(); ++line) {
        size_t end = at;
        while (end < bytes.size() && bytes[end] != '\n') ++end;
        if (end < bytes.size()) ++end;
        std::string text(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
        std::string converted;
        if (!host::Utf8ToCodePage932(text, &converted)) {
            std::vector<uint8_t> lineBytes(text.begin(), text.end());
            for (size_t k = 0; k < lineBytes.size();) {
                uint32_t codePoint = 0;
                size_t length = Utf8Sequence(lineBytes, k, &codePoint);
                std::string one(text, k, length);
                std::string ignored;
                if (!host::Utf8ToCodePage932(one, &ignored)) {
                    char name[16];
                    snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
                    *problem = "line " + std::to_string(line) + ": the character " + name +
                               " has no code page 932 form, so the installer cannot show it" +
                               "; replace it, or save the script as Shift-JIS";
                    return ScriptEncoding::kRefused;
                }
                k += length;
            }
            // Every character converts alone: cannot happen for a stateless
            // code page, but say so rather than pack a wrong script.
            *problem = "line " + std::to_string(line) + " cannot be converted to code page 932";
            return ScriptEncoding::kRefused;
        }
        packed->insert(packed->end(), converted.begin(), converted.end());
        at = end;
    }
    return ScriptEncoding::kConverted;
}

}  // namespace

ScriptEncoding PrepareScript(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed,
                             std::string* problem) {
    packed->clear();
    if (bytes.size() >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        // The installer reads a UTF-16 script too, but the package always
        // carries code page 932, which every tool and every installer reads.
        std::vector<uint8_t> utf8;
        size_t badLine = 0;
        if (!Utf16ToUtf8(bytes, bytes[0] == 0xFE, &utf8, &badLine)) {
            *problem = "the script begins with a UTF-16 byte-order mark, but line " +
                       std::to_string(badLine) + " is no UTF-16" + kSaveHint;
            return ScriptEncoding::kRefused;
        }
        return ConvertUtf8(utf8, 0, packed, problem);
    }
    bool marked = bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF;
    size_t start = marked ? 3 : 0;
    size_t malformed = FirstMalformedLine(bytes, start);
    if (!marked && (malformed != 0 || !HasHighBytes(bytes))) return ScriptEncoding::kAsIs;
    if (malformed != 0) {
        *problem = "the script begins with a UTF-8 byte-order mark, but line " +
                   std::to_string(malformed) + " is no UTF-8" + kSaveHint;
        return ScriptEncoding::kRefused;
    }
    return ConvertUtf8(bytes, start, packed, problem);
}
