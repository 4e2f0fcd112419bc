#include "base/text.h"

#include <new>
#include <stdlib.h>
#include <string.h>

namespace {

void* CheckedRealloc(void* block, size_t size) {
    void* result = realloc(block, size);
    if (!result) abort();
    return result;
}

}  // namespace

size_t CharLength932(const char* s) {
    if (!s[0]) return 0;
    if (IsLeadByte932(static_cast<unsigned char>(s[0])) && s[1]) return 2;
    return 1;
}

// Writable: Clear() ends an empty string without asking whose byte it is.
char ByteString::emptyText_[1];

ByteString::ByteString() = default;

ByteString::ByteString(const char* text) {
    if (text) Assign(text, strlen(text));
}

ByteString::ByteString(const char* text, size_t length) { Assign(text, length); }

ByteString::ByteString(const ByteString& other) { Assign(other.c_str(), other.length_); }

ByteString::ByteString(ByteString&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
    other.data_ = emptyText_;
    other.length_ = 0;
    other.capacity_ = 0;
}

ByteString& ByteString::operator=(const ByteString& other) {
    if (this != &other) Assign(other.c_str(), other.length_);
    return *this;
}

ByteString& ByteString::operator=(ByteString&& other) noexcept {
    if (this != &other) {
        if (capacity_) free(data_);
        data_ = other.data_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.data_ = emptyText_;
        other.length_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

ByteString& ByteString::operator=(const char* text) {
    if (!text) {
        Clear();
    } else if (text >= c_str() && text <= c_str() + length_) {
        ByteString copy(text);  // text points into this string
        *this = static_cast<ByteString&&>(copy);
    } else {
        Assign(text, strlen(text));
    }
    return *this;
}

ByteString::~ByteString() {
    if (capacity_) free(data_);
}

void ByteString::Reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    size_t grown = capacity_ ? capacity_ * 2 : 16;
    if (grown < capacity) grown = capacity;
    data_ = static_cast<char*>(CheckedRealloc(capacity_ ? data_ : nullptr, grown));
    capacity_ = grown;
}

void ByteString::Assign(const char* text, size_t length) {
    if (length == 0) {
        Clear();
        return;
    }
    if (text >= data_ && text < data_ + capacity_) {
        ByteString copy(text, length);  // source overlaps the own buffer
        *this = static_cast<ByteString&&>(copy);
        return;
    }
    Reserve(length + 1);
    memcpy(data_, text, length);
    data_[length] = 0;
    length_ = length;
}

void ByteString::Append(const char* text) {
    if (text) Append(text, strlen(text));
}

void ByteString::Append(const char* text, size_t length) {
    if (length == 0) return;
    if (text >= data_ && text < data_ + capacity_) {
        ByteString copy(text, length);
        Append(copy.c_str(), length);
        return;
    }
    Reserve(length_ + length + 1);
    memcpy(data_ + length_, text, length);
    length_ += length;
    data_[length_] = 0;
}

void ByteString::AppendNumber(long long value) {
    char digits[24];
    int n = 0;
    unsigned long long magnitude =
        value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
    do {
        uint32_t digit;
        magnitude = DivideBySmall(magnitude, 10, &digit);
        digits[n++] = static_cast<char>('0' + digit);
    } while (magnitude);
    if (value < 0) Append('-');
    while (n) Append(digits[--n]);
}

void ByteString::Clear() {
    length_ = 0;
    data_[0] = 0;
}

void ByteString::Truncate(size_t length) {
    if (length < length_) {
        length_ = length;
        data_[length_] = 0;
    }
}

ByteString ByteString::Left(size_t count) const {
    return ByteString(c_str(), count < length_ ? count : length_);
}

ByteString ByteString::Mid(size_t start) const {
    if (start >= length_) return ByteString();
    return ByteString(c_str() + start, length_ - start);
}

ByteString ByteString::Mid(size_t start, size_t count) const {
    if (start >= length_) return ByteString();
    size_t available = length_ - start;
    return ByteString(c_str() + start, count < available ? count : available);
}

bool ByteString::operator==(const char* text) const {
    return strcmp(c_str(), text ? text : "") == 0;
}

bool ByteString::operator==(const ByteString& other) const {
    return length_ == other.length_ && memcmp(c_str(), other.c_str(), length_) == 0;
}

StringList::StringList() = default;

StringList::StringList(const StringList& other) {
    for (size_t i = 0; i < other.count_; ++i) Add(other.items_[i]);
}

StringList& StringList::operator=(const StringList& other) {
    if (this != &other) {
        Clear();
        for (size_t i = 0; i < other.count_; ++i) Add(other.items_[i]);
    }
    return *this;
}

StringList::~StringList() {
    Clear();
    free(items_);
}

void StringList::Add(const ByteString& item) {
    if (count_ == capacity_) {
        size_t grown = capacity_ ? capacity_ * 2 : 8;
        // ByteString is moved bitwise: it holds no pointer into itself.
        items_ = static_cast<ByteString*>(CheckedRealloc(items_, grown * sizeof(ByteString)));
        capacity_ = grown;
    }
    new (&items_[count_]) ByteString(item);
    ++count_;
}

void StringList::Clear() {
    for (size_t i = 0; i < count_; ++i) items_[i].~ByteString();
    count_ = 0;
}

int StringList::IndexOf(const char* text) const {
    for (size_t i = 0; i < count_; ++i) {
        if (items_[i] == text) return static_cast<int>(i);
    }
    return -1;
}

int MbFind(const char* text, char c, int start) {
    if (start < 0) start = 0;
    const char* p = text;
    // Walk from the beginning: only a walk from a known character boundary
    // can tell a trail byte from a single-byte character.
    while (*p) {
        size_t step = CharLength932(p);
        if (p - text >= start && step == 1 && *p == c) return static_cast<int>(p - text);
        p += step;
    }
    return -1;
}

int MbFindLast(const char* text, char c) {
    int found = -1;
    for (const char* p = text; *p; p += CharLength932(p)) {
        if (CharLength932(p) == 1 && *p == c) found = static_cast<int>(p - text);
    }
    return found;
}

int MbFindText(const char* text, const char* needle, int start) {
    size_t needleLength = strlen(needle);
    if (start < 0) start = 0;
    for (const char* p = text; *p; p += CharLength932(p)) {
        if (p - text >= start && strncmp(p, needle, needleLength) == 0) {
            return static_cast<int>(p - text);
        }
    }
    return needleLength == 0 && static_cast<size_t>(start) <= strlen(text) ? start : -1;
}

int MbCount(const char* text, char c) {
    int count = 0;
    for (const char* p = text; *p; p += CharLength932(p)) {
        if (CharLength932(p) == 1 && *p == c) ++count;
    }
    return count;
}

ByteString MbToLower(const char* text) {
    ByteString lowered;
    for (const char* p = text; *p;) {
        size_t step = CharLength932(p);
        if (step == 1 && *p >= 'A' && *p <= 'Z') {
            lowered.Append(static_cast<char>(*p - 'A' + 'a'));
        } else {
            lowered.Append(p, step);
        }
        p += step;
    }
    return lowered;
}

ByteString TrimSpaces(const char* text) {
    const char* begin = text;
    while (*begin && IsSpaceByte(static_cast<unsigned char>(*begin))) ++begin;
    // The end is found by a character walk, so a trail byte is never trimmed.
    const char* end = begin;
    for (const char* p = begin; *p; p += CharLength932(p)) {
        if (CharLength932(p) != 1 || !IsSpaceByte(static_cast<unsigned char>(*p))) {
            end = p + CharLength932(p);
        }
    }
    return ByteString(begin, static_cast<size_t>(end - begin));
}

bool CopyToBuffer(char* buffer, size_t bufferSize, const char* text) {
    if (bufferSize == 0) return false;
    size_t length = strlen(text);
    if (length >= bufferSize) {
        buffer[0] = 0;
        return false;
    }
    memcpy(buffer, text, length + 1);
    return true;
}

uint64_t DivideBySmall(uint64_t value, uint32_t divisor, uint32_t* remainder) {
    // Long division in 16-bit digits below the high word: the remainder so
    // far is below the divisor, so each partial dividend stays below
    // divisor * 65536 and fits in 32 bits.
    uint32_t high = static_cast<uint32_t>(value >> 32);
    uint32_t low = static_cast<uint32_t>(value);
    uint32_t part = (high % divisor) << 16 | low >> 16;
    uint32_t middle = part / divisor;
    part = (part % divisor) << 16 | (low & 0xFFFF);
    *remainder = part % divisor;
    return static_cast<uint64_t>(high / divisor) << 32 | middle << 16 | part / divisor;
}

int32_t ParseLong(const char* text) {
    const char* p = text;
    while (IsSpaceByte(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= 2147483648LL) value = value * 10 + (*p - '0');
        ++p;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return 2147483647;
    if (value < -2147483647LL - 1) return -2147483647 - 1;
    return static_cast<int32_t>(value);
}

uint32_t ParseByteCount(const char* text) {
    const char* p = text;
    while (IsSpaceByte(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        if (value <= UINT32_MAX) value = value * 10 + static_cast<uint64_t>(*p - '0');
        ++p;
    }
    uint32_t count = value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
    return negative ? 0u - count : count;
}
