// Byte buffers for the SZDD tests, native and under Wine: the sink that the
// codec writes into, and the inputs made up for it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <random>
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

inline Bytes Text(const char* text) { return Bytes(text, text + strlen(text)); }

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace szdd_bytes
