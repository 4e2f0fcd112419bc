// Profile (INI) files: the interface through which the setup script is read,
// and a portable reader that answers exactly as the Windows profile API does
// for code page 932 files, so that host tools and native tests see the script
// the way the installer sees it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/text.h"

// Where the setup script reader takes its values from: the profile API in the
// product, IniProfile in the host tools and tests. Sizes are in bytes and
// include the terminating zero, as for GetPrivateProfileStringA.
class ProfileSource {
public:
    // The value of key in section, or def when the key is absent; at most
    // bufferSize - 1 bytes, cut after a whole character.
    virtual ByteString GetValue(const char* section, const char* key, const char* def,
                                size_t bufferSize) const = 0;
    // The key names of section in file order, as many as a key-name buffer of
    // bufferSize bytes holds (the last one possibly cut short). Empty when the
    // section is absent or has no keys.
    virtual StringList GetKeyNames(const char* section, size_t bufferSize) const = 0;

protected:
    ProfileSource() = default;
    ~ProfileSource() = default;
};

// How a profile file's text is encoded, told by its first bytes as the
// profile API tells it: EF BB BF starts UTF-8 text, FF FE little-endian
// UTF-16, FE FF big-endian UTF-16; anything else is code page 932 text.
enum class ProfileEncoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

// The encoding of text (size bytes); *markLength receives the length of its
// byte-order mark in bytes (0 for kAnsi).
ProfileEncoding DetectProfileEncoding(const char* text, size_t size, size_t* markLength);

// Converts Unicode text (size bytes after the mark, in the given encoding)
// into code page 932 as the profile API converts its answers: one code page
// character per UTF-16 unit, a character that code page 932 lacks as its
// best fit or the default character. inexact receives one byte per character
// of out, nonzero where the character only stands in for the file's own.
// Returns false when it cannot convert.
typedef bool (*UnicodeToAnsi)(ProfileEncoding encoding, const char* text, size_t size,
                              ByteString* out, ByteString* inexact);

// Splits a buffer of zero-terminated names that ends with an empty name (the
// key-name form of the profile API) into a list. Never reads past size bytes,
// even when the buffer holds no final empty name.
StringList SplitNameList(const char* buffer, size_t size);

// A profile file held in memory. The rules are those of the profile API:
// - lines end at CR or LF (CR LF, LF and a missing final newline all work);
//   spaces, tabs, CR, LF, VT, FF and Ctrl-Z around lines, names and values are
//   removed (the full-width space is not a space);
// - "[name]" starts a section (text after the last "]" is ignored; a line
//   starting with "[" without "]" is an ordinary line); names are compared
//   without regard to the case of ASCII letters only;
// - "name=value" is a key; a line without "=" is a key without value, which
//   is not listed and whose lookup gives the default; a line starting with ";"
//   is a comment and is not listed;
// - of duplicate sections only the first is ever seen; of duplicate keys the
//   first answers lookups, while key lists show every one;
// - a value wholly enclosed in a pair of double or single quotes loses them.
// Characters are code page 932: a lead byte and the byte after it form one
// character whatever that byte is, so a trail byte 0x5C, 0x5D or 0x41-0x5A is
// never a backslash, a bracket or a letter. Byte sequences that are no valid
// code page 932 text are kept as they stand, where Windows would substitute a
// placeholder character for them.
// A file that starts with a byte-order mark is Unicode text, as for the
// profile API; it is converted to code page 932 by the given converter, the
// system's in the installer. Without one, only its ASCII characters are kept
// and every other character reads as "?". A stand-in character answers as
// itself but matches no name asked for, since the API compares the file's
// own characters.
class IniProfile : public ProfileSource {
public:
    IniProfile() = default;
    IniProfile(const IniProfile&) = delete;
    IniProfile& operator=(const IniProfile&) = delete;
    ~IniProfile();

    // Replaces the contents by the parsed text (size bytes).
    void Parse(const char* text, size_t size, UnicodeToAnsi convert = nullptr);
    // Reads and parses a file. False when it cannot be read; the contents are
    // then empty, so every lookup gives its default.
    bool LoadFile(const char* path, UnicodeToAnsi convert = nullptr);

    // The answer of GetPrivateProfileStringA for this file, byte for byte, as
    // it leaves a zero-filled buffer of bufferSize bytes, with its return
    // value. A null key asks for the key names of the section. section must
    // not be null; def may be.
    size_t GetPrivateString(const char* section, const char* key, const char* def, char* buffer,
                            size_t bufferSize) const;

    ByteString GetValue(const char* section, const char* key, const char* def,
                        size_t bufferSize) const override;
    StringList GetKeyNames(const char* section, size_t bufferSize) const override;

private:
    // One character: a single byte, or lead byte << 8 | trail byte, and a
    // flag for a stand-in character.
    typedef uint32_t Unit;

    struct Section {
        size_t nameStart, nameLength;
        size_t firstKey, keyCount;
    };
    struct Key {
        size_t nameStart, nameLength;
        size_t valueStart, valueLength;
        bool hasValue;
    };

    void Clear();
    void ParseAnsi(const char* text, size_t size, const char* inexact = nullptr,
                   size_t inexactCount = 0);
    void AddSection(size_t nameStart, size_t nameLength);
    void AddKey(const Key& key);
    const Key* FindKey(const Unit* section, size_t sectionLength, const Unit* key,
                       size_t keyLength) const;
    size_t ListKeys(const Unit* section, size_t sectionLength, Unit* out, size_t outSize) const;

    Unit* units_ = nullptr;  // the whole file, one element per character
    size_t unitCount_ = 0;
    Section* sections_ = nullptr;  // [0] holds the lines before the first header
    size_t sectionCount_ = 0;
    size_t sectionCapacity_ = 0;
    Key* keys_ = nullptr;  // every section's keys, in file order
    size_t keyCount_ = 0;
    size_t keyCapacity_ = 0;
};
