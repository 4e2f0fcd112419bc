// Byte strings in code page 932 and the multibyte-aware helpers that every
// part of the program uses. No <windows.h> and no standard containers: the
// shipped program links no libstdc++ allocation path (it would cost about
// 230 KB), so strings and lists are this small heap-backed pair.
#pragma once

#include <stddef.h>
#include <stdint.h>

// True for the first byte of a double-byte character of code page 932
// (0x81-0x9F and 0xE0-0xFC). The second byte of such a character may be any
// value from 0x40 up, 0x5C ("\") included, and is never a separator.
inline bool IsLeadByte932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Length in bytes of the character that starts at s[0]: 2 for a lead byte
// followed by a non-zero byte, otherwise 1 (0 at the terminating zero).
size_t CharLength932(const char* s);

// A zero-terminated byte string that owns its heap buffer. c_str() never
// returns null. Running out of memory aborts the process: there is no
// sensible way for an installer to go on without its strings.
class ByteString {
public:
    ByteString();
    ByteString(const char* text);  // NOLINT: implicit on purpose, like a literal
    ByteString(const char* text, size_t length);
    ByteString(const ByteString& other);
    ByteString(ByteString&& other) noexcept;
    ByteString& operator=(const ByteString& other);
    ByteString& operator=(ByteString&& other) noexcept;
    ByteString& operator=(const char* text);
    ~ByteString();

    const char* c_str() const { return data_; }
    size_t Length() const { return length_; }
    bool IsEmpty() const { return length_ == 0; }
    char operator[](size_t index) const { return data_[index]; }
    // Last byte, or 0 for an empty string.
    char Last() const { return length_ ? data_[length_ - 1] : 0; }

    void Assign(const char* text, size_t length);
    void Append(const char* text);
    void Append(const char* text, size_t length);
    void Append(const ByteString& text) { Append(text.c_str(), text.Length()); }
    void Append(char c) { Append(&c, 1); }
    // Appends the decimal form of value.
    void AppendNumber(long long value);
    void Clear();
    // Keeps the first length bytes (no effect when already shorter).
    void Truncate(size_t length);

    // Byte ranges; out-of-range positions are clamped, never read past the end.
    ByteString Left(size_t count) const;
    ByteString Mid(size_t start) const;
    ByteString Mid(size_t start, size_t count) const;

    bool operator==(const char* text) const;
    bool operator==(const ByteString& other) const;
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator!=(const ByteString& other) const { return !(*this == other); }

private:
    void Reserve(size_t capacity);

    // Never null, so that c_str() needs no test: a string without a buffer
    // of its own (capacity_ 0) points at emptyText_, a zero byte shared by
    // all of them.
    static char emptyText_[1];
    char* data_ = emptyText_;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

// An ordered list of byte strings.
class StringList {
public:
    StringList();  // out of line: a call is smaller than three stores
    StringList(const StringList& other);
    StringList& operator=(const StringList& other);
    ~StringList();

    size_t Count() const { return count_; }
    bool IsEmpty() const { return count_ == 0; }
    const ByteString& operator[](size_t index) const { return items_[index]; }
    ByteString& operator[](size_t index) { return items_[index]; }
    void Add(const ByteString& item);
    void Add(const char* item) { Add(ByteString(item)); }
    void Clear();
    // Index of the first item equal to text, or -1.
    int IndexOf(const char* text) const;

private:
    ByteString* items_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

// Multibyte-aware searches. Positions are byte offsets; -1 means not found.
// Only bytes that begin a character are compared, so a trail byte 0x5C or
// 0x2C of a double-byte character never matches "\" or ",".
int MbFind(const char* text, char c, int start = 0);
int MbFindLast(const char* text, char c);
int MbFindText(const char* text, const char* needle, int start = 0);
int MbCount(const char* text, char c);

// Lower-cases the single-byte ASCII letters; double-byte characters are kept.
ByteString MbToLower(const char* text);

// White space as code page 932 defines it for single bytes: space, tab, LF,
// VT, FF, CR. Trail bytes never count, since only whole characters are looked at.
inline bool IsSpaceByte(unsigned char c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}
ByteString TrimSpaces(const char* text);

// Copies text into a fixed buffer of bufferSize bytes (terminating zero
// included). Returns false, leaving an empty string, when it does not fit.
bool CopyToBuffer(char* buffer, size_t bufferSize, const char* text);

// value / divisor, and value % divisor in *remainder, for a divisor of 1 to
// 65535, computed with 32-bit divisions only: a 64-bit division would take
// the compiler's helper functions into the 32-bit program, which links none.
uint64_t DivideBySmall(uint64_t value, uint32_t divisor, uint32_t* remainder);

// C atol semantics (leading white space, optional sign, decimal digits; no
// digits gives 0), clamped to the 32-bit range instead of overflowing.
int32_t ParseLong(const char* text);

// A byte count written for C atol, read over the whole unsigned 32-bit range:
// the system's atol wraps 2147483648 to 4294967295 into negative numbers, and
// the count is that number read as unsigned, so "3000000000" and
// "-1294967296" both give 3000000000. A minus sign negates modulo 2^32, as
// there. Beyond 4294967295 the count saturates instead of wrapping, so a need
// of 5 GB never turns into a need of 705 MB.
uint32_t ParseByteCount(const char* text);
