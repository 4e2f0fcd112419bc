// Fuzzes the portable profile reader: parsing arbitrary bytes and asking for
// key lists and values at every small buffer size must stay inside the
// buffers and keep the answer terminated.
#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include "package/profile.h"

namespace {

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void Ask(const IniProfile& profile, const char* section, const char* key, size_t size) {
    char buffer[300];
    char* target = buffer;
    char* heap = nullptr;
    if (size > sizeof buffer) target = heap = new char[size];
    size_t ret = profile.GetPrivateString(section, key, "de f ", target, size);
    if (size > 0) {
        Check(ret < size);
        Check(target[ret] == 0);
    } else {
        Check(ret == 0);
    }
    delete[] heap;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t small = data[0] % 12;  // 0..11 bytes: the cutting corners
    IniProfile profile;
    profile.Parse(reinterpret_cast<const char*>(data + 1), size - 1);

    // "\x83\x5C" is a katakana whose trail byte is a backslash.
    static const char* const kSections[] = {"S", "Source", "", " s ", "\x83\x5C"};
    for (const char* section : kSections) {
        Ask(profile, section, nullptr, small);
        Ask(profile, section, nullptr, 65535);
        StringList keys = profile.GetKeyNames(section, 65535);
        for (size_t i = 0; i < keys.Count() && i < 8; ++i) {
            const char* key = keys[i].c_str();
            Ask(profile, section, key, small);
            Ask(profile, section, key, 260);
            ByteString value = profile.GetValue(section, key, "", 256);
            Check(value.Length() <= 255);
        }
        Ask(profile, section, "k", small);
    }
    return 0;
}
