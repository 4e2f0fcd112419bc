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

const char kSaveHint[] =
    "; save the script as Shift-JIS (code page 932), or as UTF-8 with characters that "
    "code page 932 has";

}  // namespace

ScriptEncoding PrepareScript(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed,
                             std::string* problem) {
    packed->clear();
    if (bytes.size() >= 2 &&
        ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        *problem = "the script is UTF-16, which the installer cannot read" + std::string(kSaveHint);
        return ScriptEncoding::kRefused;
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
