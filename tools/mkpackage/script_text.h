// The encoding of a setup script. The installer reads its script as code
// page 932; a script saved as UTF-8 (with or without a byte-order mark) is
// converted so that the package carries what the installer can read, and a
// script already in code page 932 is packed byte for byte.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

enum class ScriptEncoding {
    kAsIs,       // ASCII or code page 932: packed as it stands
    kConverted,  // UTF-8: *packed holds the code page 932 form, without a mark
    kRefused,    // *problem says what is wrong and how to fix it
};

// Decides how the script's bytes are packed. A script is taken for UTF-8
// when it begins with the byte-order mark EF BB BF, or when it has bytes
// above 0x7F and all of it is well-formed UTF-8 (code page 932 text with
// double-byte characters practically never is). Refused: UTF-16, a marked
// script that is no UTF-8, and a character without a code page 932 form,
// named with its line number (lines counted from 1 by "\n").
ScriptEncoding PrepareScript(const std::vector<uint8_t>& bytes, std::vector<uint8_t>* packed,
                             std::string* problem);
