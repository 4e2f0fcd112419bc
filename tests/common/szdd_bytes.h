// Byte buffers for the SZDD tests, native and under Wine: the sink that the
// codec writes into, and the inputs made up for it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

namespace szdd_bytes {

using Bytes = std::vector<uint8_t>;

// A codec sink: appends to the Bytes that context points to.
inline bool Append(void* context, const uint8_t* bytes, size_t size) {
    static_cast<Bytes*>(context)->insert(static_cast<Bytes*>(context)->end(), bytes, bytes + size);
    return true;
}

// size bytes drawn from alphabet, or from all 256 values without one.
inline Bytes Random(size_t size, uint32_t seed, const char* alphabet = nullptr) {
    std::mt19937 random(seed);
    Bytes out(size);
    size_t letters = alphabet ? strlen(alphabet) : 256;
    for (uint8_t& byte : out) {
        size_t k = random() % letters;
        byte = alphabet ? static_cast<uint8_t>(alphabet[k]) : static_cast<uint8_t>(k);
    }
    return out;
}

// An SZDD file written by hand: literal-only groups (flag byte 0xFF, then
// up to eight literal bytes), which every reader expands unchanged.
inline std::string LiteralSzdd(const std::string& plain) {
    std::string file("SZDD\x88\xF0\x27\x33" "A", 9);
    file += 'x';
    uint32_t length = static_cast<uint32_t>(plain.size());
    for (int i = 0; i < 4; ++i) file += static_cast<char>((length >> (8 * i)) & 0xFF);
    for (size_t i = 0; i < plain.size(); i += 8) {
        file += '\xFF';
        file += plain.substr(i, 8);
    }
    return file;
}

inline Bytes Text(const char* text) { return Bytes(text, text + strlen(text)); }

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace szdd_bytes
