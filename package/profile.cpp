#include "package/profile.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// The profile API works on UTF-16 text: it converts the file, the names asked
// for and the default from the ANSI code page, searches and cuts in UTF-16
// characters, and converts the answer back into the caller's byte buffer.
// Cutting happens twice (in characters, then in bytes), and the quote removal
// looks at the character count, so the reader below keeps one element per
// character to give the same answers at every buffer size.

namespace {

// One character: a single byte, or lead byte << 8 | trail byte; kInexact
// marks a character of a Unicode file that the code page could only stand in
// for (a best fit or the default character). The profile API compares the
// file's own characters, so such a character never equals one asked for.
typedef uint32_t Unit;
constexpr Unit kInexact = 0x10000;

void* CheckedRealloc(void* block, size_t size) {
    void* result = realloc(block, size ? size : 1);
    if (!result) abort();
    return result;
}

// A lead byte takes the byte after it as its trail, whatever that byte is:
// the conversion of the profile API pairs them the same way. inexact, when
// given, holds one byte per character, nonzero for a stand-in.
size_t Decode(const char* text, size_t size, Unit* out, const char* inexact = nullptr,
              size_t inexactCount = 0) {
    size_t count = 0;
    for (size_t i = 0; i < size;) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        Unit flag = count < inexactCount && inexact[count] ? kInexact : 0;
        if (IsLeadByte932(c) && i + 1 < size) {
            out[count++] = (c << 8 | static_cast<unsigned char>(text[i + 1])) | flag;
            i += 2;
        } else {
            out[count++] = c | flag;
            ++i;
        }
    }
    return count;
}

// Writes whole characters while they fit into room bytes. Like the code-page
// conversion of the profile API, a character that does not fit ends the copy
// and the answer counts as filling the room.
size_t Encode(const Unit* in, size_t count, char* out, size_t room) {
    size_t pos = 0;
    for (size_t i = 0; i < count; ++i) {
        Unit c = in[i] & ~kInexact;
        size_t width = c > 0xFF ? 2 : 1;
        if (pos + width > room) return room;
        if (width == 2) out[pos++] = static_cast<char>(c >> 8);
        out[pos++] = static_cast<char>(c & 0xFF);
    }
    return pos;
}

// Spaces as the profile API trims them: ASCII white space and Ctrl-Z (the
// old end-of-file mark), but not the full-width space.
bool IsProfileSpace(Unit u) { return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20; }

void Trim(const Unit* units, size_t* start, size_t* end) {
    while (*start < *end && IsProfileSpace(units[*start])) ++*start;
    while (*end > *start && IsProfileSpace(units[*end - 1])) --*end;
}

// Names and values are zero-terminated strings inside the profile API, so a
// zero byte in the file ends them.
size_t LengthToZero(const Unit* units, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!units[i]) return i;
    }
    return length;
}

// Only ASCII letters have case: double-byte letters (full-width, Greek,
// Cyrillic) are compared as they stand, like the profile API does.
Unit FoldCase(Unit u) { return (u >= 'A' && u <= 'Z') ? static_cast<Unit>(u + 32) : u; }

bool EqualNoCase(const Unit* a, size_t aLength, const Unit* b, size_t bLength) {
    if (aLength != bLength) return false;
    for (size_t i = 0; i < aLength; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

// A name or default as the caller passed it, converted to characters.
class Request {
public:
    explicit Request(const char* text) {
        size_t size = text ? strlen(text) : 0;
        units_ = static_cast<Unit*>(CheckedRealloc(nullptr, (size + 1) * sizeof(Unit)));
        length_ = Decode(text ? text : "", size, units_);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
    ~Request() { free(units_); }

    const Unit* Units() const { return units_ + start_; }
    size_t Length() const { return length_ - start_; }
    void TrimSpaces() { Trim(units_, &start_, &length_); }
    // Trailing ASCII spaces go, but never the first character.
    void DropTrailingBlanks() {
        while (length_ > start_ + 1 && units_[length_ - 1] == ' ') --length_;
    }

private:
    Unit* units_;
    size_t start_ = 0;
    size_t length_;
};

// Copies a value into a character buffer of size characters: a value wholly
// enclosed in a pair of quotes loses them. When the quoted text just fills
// the buffer the profile API drops one character more; that is kept, since
// the installer reads through that API and must see what it sees. Returns the
// length copied.
size_t CopyEntry(Unit* out, const Unit* value, size_t length, size_t size) {
    length = LengthToZero(value, length);
    bool quoted = false;
    if (length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0]) {
        quoted = true;
        ++value;
        --length;  // the closing quote is still counted
    }
    size_t copied = length < size - 1 ? length : size - 1;
    memcpy(out, value, copied * sizeof(Unit));
    out[copied] = 0;
    if (quoted && size >= length && copied > 0) out[--copied] = 0;
    return copied;
}

// The stand-in conversion where no converter is given: ASCII characters as
// they stand, every other character one "?". A UTF-8 character is its first
// byte and the continuation bytes (10xxxxxx) after it.
ByteString AsciiOnly(ProfileEncoding encoding, const char* text, size_t size,
                     ByteString* inexact) {
    ByteString out;
    inexact->Clear();
    auto add = [&](unsigned unit) {
        out.Append(unit < 0x80 ? static_cast<char>(unit) : '?');
        inexact->Append(unit < 0x80 ? '\0' : '\1');
    };
    if (encoding == ProfileEncoding::kUtf8) {
        for (size_t i = 0; i < size; ++i) {
            unsigned char c = static_cast<unsigned char>(text[i]);
            if ((c & 0xC0) != 0x80) add(c);
        }
        return out;
    }
    bool bigEndian = encoding == ProfileEncoding::kUtf16Be;
    for (size_t i = 0; i + 1 < size; i += 2) {
        unsigned char first = static_cast<unsigned char>(text[i]);
        unsigned char second = static_cast<unsigned char>(text[i + 1]);
        add(bigEndian ? (first << 8 | second) : (second << 8 | first));
    }
    return out;
}

}  // namespace

ProfileEncoding DetectProfileEncoding(const char* text, size_t size, size_t* markLength) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(text);
    *markLength = 0;
    if (size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) {
        *markLength = 3;
        return ProfileEncoding::kUtf8;
    }
    if (size >= 2 && u[0] == 0xFF && u[1] == 0xFE) {
        *markLength = 2;
        return ProfileEncoding::kUtf16Le;
    }
    if (size >= 2 && u[0] == 0xFE && u[1] == 0xFF) {
        *markLength = 2;
        return ProfileEncoding::kUtf16Be;
    }
    return ProfileEncoding::kAnsi;
}

StringList SplitNameList(const char* buffer, size_t size) {
    StringList names;
    size_t pos = 0;
    while (pos < size && buffer[pos]) {
        size_t length = 0;
        while (pos + length < size && buffer[pos + length]) ++length;
        names.Add(ByteString(buffer + pos, length));
        pos += length + 1;
    }
    return names;
}

IniProfile::~IniProfile() { Clear(); }

void IniProfile::Clear() {
    free(units_);
    free(sections_);
    free(keys_);
    units_ = nullptr;
    sections_ = nullptr;
    keys_ = nullptr;
    unitCount_ = sectionCount_ = sectionCapacity_ = keyCount_ = keyCapacity_ = 0;
}

void IniProfile::AddSection(size_t nameStart, size_t nameLength) {
    if (sectionCount_ == sectionCapacity_) {
        sectionCapacity_ = sectionCapacity_ ? sectionCapacity_ * 2 : 16;
        sections_ =
            static_cast<Section*>(CheckedRealloc(sections_, sectionCapacity_ * sizeof(Section)));
    }
    Section& section = sections_[sectionCount_++];
    section.nameStart = nameStart;
    section.nameLength = LengthToZero(units_ + nameStart, nameLength);
    section.firstKey = keyCount_;
    section.keyCount = 0;
}

void IniProfile::AddKey(const Key& key) {
    if (keyCount_ == keyCapacity_) {
        keyCapacity_ = keyCapacity_ ? keyCapacity_ * 2 : 64;
        keys_ = static_cast<Key*>(CheckedRealloc(keys_, keyCapacity_ * sizeof(Key)));
    }
    keys_[keyCount_++] = key;
    ++sections_[sectionCount_ - 1].keyCount;
}

void IniProfile::Parse(const char* text, size_t size, UnicodeToAnsi convert) {
    size_t mark = 0;
    ProfileEncoding encoding = DetectProfileEncoding(text, size, &mark);
    if (encoding == ProfileEncoding::kAnsi) {
        ParseAnsi(text, size);
        return;
    }
    ByteString ansi, inexact;
    if (!convert || !convert(encoding, text + mark, size - mark, &ansi, &inexact)) {
        ansi = AsciiOnly(encoding, text + mark, size - mark, &inexact);
    }
    ParseAnsi(ansi.c_str(), ansi.Length(), inexact.c_str(), inexact.Length());
}

void IniProfile::ParseAnsi(const char* text, size_t size, const char* inexact,
                           size_t inexactCount) {
    Clear();
    units_ = static_cast<Unit*>(CheckedRealloc(nullptr, (size + 1) * sizeof(Unit)));
    unitCount_ = Decode(text, size, units_, inexact, inexactCount);
    AddSection(0, 0);  // lines before the first header belong to a nameless section

    const Unit* u = units_;
    bool havePrevious = false;  // a key was added since the last header
    size_t previous = 0;
    size_t next = 0;
    while (next < unitCount_) {
        size_t start = next;
        while (next < unitCount_ && u[next] != '\n' && u[next] != '\r') ++next;
        while (next < unitCount_ && (u[next] == '\n' || u[next] == '\r')) ++next;
        size_t end = next;
        Trim(u, &start, &end);
        if (start >= end) continue;

        if (u[start] == '[') {
            size_t length = end - start;
            while (length > 0 && u[start + length - 1] != ']') --length;
            if (length > 0) {
                size_t nameStart = start + 1;
                size_t nameEnd = start + length - 1;
                Trim(u, &nameStart, &nameEnd);
                AddSection(nameStart, nameEnd - nameStart);
                havePrevious = false;
                continue;
            }
        }

        Key key = {start, 0, 0, 0, false};
        size_t nameEnd = end;
        size_t equals = start;
        while (equals < end && u[equals] != '=') ++equals;
        if (equals < end) {
            nameEnd = equals;
            while (nameEnd > start && IsProfileSpace(u[nameEnd - 1])) --nameEnd;
            size_t valueStart = equals + 1;
            while (valueStart < end && IsProfileSpace(u[valueStart])) ++valueStart;
            key.hasValue = true;
            key.valueStart = valueStart;
            key.valueLength = end - valueStart;
        }
        // Of consecutive lines with an empty name ("=value") only the first
        // is kept; the profile API loads them that way.
        size_t rawLength = nameEnd - start;
        if (rawLength || !havePrevious || keys_[previous].nameLength) {
            key.nameLength = LengthToZero(u + start, rawLength);
            AddKey(key);
            havePrevious = true;
            previous = keyCount_ - 1;
        }
    }
}

bool IniProfile::LoadFile(const char* path, UnicodeToAnsi convert) {
    Clear();
    FILE* file = fopen(path, "rb");
    if (!file) return false;
    ByteString text;
    char chunk[2048];  // below a page: the stack is not probed (cmake/windows.cmake)
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) text.Append(chunk, got);
    bool ok = !ferror(file);
    fclose(file);
    if (!ok) return false;
    Parse(text.c_str(), text.Length(), convert);
    return true;
}

// Only the first section of a name is searched, so a repeated section is
// never seen; the first key of a name answers, even when it has no value.
const IniProfile::Key* IniProfile::FindKey(const Unit* section, size_t sectionLength,
                                           const Unit* key, size_t keyLength) const {
    for (size_t s = 0; s < sectionCount_; ++s) {
        const Section& current = sections_[s];
        if (!EqualNoCase(units_ + current.nameStart, current.nameLength, section, sectionLength)) {
            continue;
        }
        for (size_t k = current.firstKey; k < current.firstKey + current.keyCount; ++k) {
            if (EqualNoCase(units_ + keys_[k].nameStart, keys_[k].nameLength, key, keyLength)) {
                return &keys_[k];
            }
        }
        return nullptr;
    }
    return nullptr;
}

// Fills out (outSize characters) with the names of the section's keys that
// have a value, each followed by a zero, and a final zero; the last name is
// cut when the buffer is full. Returns the profile API's character count.
size_t IniProfile::ListKeys(const Unit* section, size_t sectionLength, Unit* out,
                            size_t outSize) const {
    // The profile API writes outside its buffer below two characters.
    if (outSize < 2) {
        out[0] = 0;
        return 0;
    }
    for (size_t s = 0; s < sectionCount_; ++s) {
        const Section& current = sections_[s];
        if (!EqualNoCase(units_ + current.nameStart, current.nameLength, section, sectionLength)) {
            continue;
        }
        size_t room = outSize;
        size_t pos = 0;
        for (size_t k = current.firstKey; k < current.firstKey + current.keyCount; ++k) {
            const Key& key = keys_[k];
            if (room <= 2) break;
            if (!key.nameLength && !key.hasValue) continue;
            if (key.nameLength && units_[key.nameStart] == ';') continue;  // comment
            if (!key.hasValue) continue;
            size_t copied = key.nameLength < room - 2 ? key.nameLength : room - 2;
            memcpy(out + pos, units_ + key.nameStart, copied * sizeof(Unit));
            out[pos + copied] = 0;
            room -= copied + 1;
            pos += copied + 1;
            if (room < 2) break;
        }
        out[pos] = 0;
        if (room <= 1) {
            out[pos - 1] = 0;
            return outSize - 2;
        }
        return outSize - room;
    }
    out[0] = 0;
    if (outSize > 1) out[1] = 0;
    return 0;
}

size_t IniProfile::GetPrivateString(const char* section, const char* key, const char* def,
                                    char* buffer, size_t bufferSize) const {
    if (!buffer || bufferSize == 0) return 0;
    memset(buffer, 0, bufferSize);
    if (!section) return 0;

    Unit* wide = static_cast<Unit*>(CheckedRealloc(nullptr, (bufferSize + 1) * sizeof(Unit)));
    wide[0] = 0;
    Request defaultText(def);
    Request sectionName(section);
    size_t wideLength;
    if (!key) {
        // The section name of a key list is compared untrimmed.
        wideLength = ListKeys(sectionName.Units(), sectionName.Length(), wide, bufferSize);
        if (!wide[0]) {
            wideLength = CopyEntry(wide, defaultText.Units(), defaultText.Length(), bufferSize);
        }
    } else {
        Request keyName(key);
        sectionName.TrimSpaces();
        keyName.TrimSpaces();
        defaultText.DropTrailingBlanks();
        const Key* found =
            FindKey(sectionName.Units(), sectionName.Length(), keyName.Units(), keyName.Length());
        if (found && found->hasValue) {
            wideLength =
                CopyEntry(wide, units_ + found->valueStart, found->valueLength, bufferSize);
        } else {
            wideLength = CopyEntry(wide, defaultText.Units(), defaultText.Length(), bufferSize);
        }
    }
    size_t written = wideLength ? Encode(wide, wideLength, buffer, bufferSize - 1) : 0;
    buffer[written] = 0;
    free(wide);
    return written;
}

ByteString IniProfile::GetValue(const char* section, const char* key, const char* def,
                                size_t bufferSize) const {
    if (bufferSize == 0) return ByteString();
    char* buffer = static_cast<char*>(CheckedRealloc(nullptr, bufferSize));
    GetPrivateString(section, key, def, buffer, bufferSize);
    ByteString value(buffer);
    free(buffer);
    return value;
}

StringList IniProfile::GetKeyNames(const char* section, size_t bufferSize) const {
    if (bufferSize == 0) return StringList();
    char* buffer = static_cast<char*>(CheckedRealloc(nullptr, bufferSize));
    GetPrivateString(section, nullptr, "", buffer, bufferSize);
    StringList names = SplitNameList(buffer, bufferSize);
    free(buffer);
    return names;
}
