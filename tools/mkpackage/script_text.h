// The encoding of a setup script. The package always carries its script in
// code page 932: a script saved as UTF-8 (with or without a byte-order mark)
// or as UTF-16 (with its mark) is converted, and a script already in code
// page 932 is packed byte for byte.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum class ScriptEncoding {
    kAsIs,       // ASCII or code page 932: packed as it stands
    kConverted,  // UTF-8 or UTF-16: *packed holds the code page 932 form, without a mark
    kRefused,    // *problem says what is wrong and how to fix it
};

// Decides how the script's bytes are packed. A script is taken for UTF-8
// when it begins with the byte-order mark EF BB BF, or when it has bytes
// above 0x7F and all of it is well-formed UTF-8 (code page 932 text with
// double-byte characters practically never is), and for UTF-16 when it
// begins with FF FE or FE FF. Refused: a marked script that is no UTF-8 or
// UTF-16, and a character without a code page 932 form, named with its line
// number (lines counted from 1 by "\n").
ScriptEncoding PrepareScript(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed,
                             std::string* problem);
