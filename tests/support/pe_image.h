// Smallest images that the archive reader accepts as PE files, for tests and
// the fuzz target: a 64-byte DOS header, the PE signature and file header, a
// 224-byte optional header, the section table and the sections' raw data.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

inline void PutLe16(std::string* image, size_t offset, uint16_t value) {
    (*image)[offset] = static_cast<char>(value & 0xFF);
    (*image)[offset + 1] = static_cast<char>(value >> 8);
}

inline void PutLe32(std::string* image, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) (*image)[offset + i] = static_cast<char>(value >> (8 * i));
}

constexpr size_t kImagePeOffset = 64;
constexpr size_t kImageSectionTable = kImagePeOffset + 24 + 224;

// sections sections of 128 bytes each, raw data from offset 512; the last
// one's data ends the image (512 + 128 * sections bytes).
inline std::string MinimalImage(int sections = 1) {
    std::string image(512 + 128 * static_cast<size_t>(sections), '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutLe32(&image, 0x3C, kImagePeOffset);
    image.replace(kImagePeOffset, 4, std::string("PE\0\0", 4));
    PutLe16(&image, kImagePeOffset + 4, 0x14C);  // i386
    PutLe16(&image, kImagePeOffset + 6, static_cast<uint16_t>(sections));
    PutLe16(&image, kImagePeOffset + 20, 224);
    PutLe16(&image, kImagePeOffset + 24, 0x10B);  // PE32 optional header
    for (int i = 0; i < sections; ++i) {
        size_t header = kImageSectionTable + 40 * static_cast<size_t>(i);
        image.replace(header, 5, ".sect");
        PutLe32(&image, header + 16, 128);                                      // SizeOfRawData
        PutLe32(&image, header + 20, 512 + 128 * static_cast<uint32_t>(i));     // PointerToRawData
        for (size_t b = 0; b < 128; ++b) {
            image[512 + 128 * static_cast<size_t>(i) + b] = static_cast<char>(0x90 + i);
        }
    }
    return image;
}
