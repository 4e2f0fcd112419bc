#include "package/setup_script_win.h"

#include <windows.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "base/file_status_win.h"
#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"

namespace {

// A heap block freed on every path out.
class HeapBlock {
public:
    explicit HeapBlock(size_t bytes) : block_(malloc(bytes ? bytes : 1)) {}
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    ~HeapBlock() { free(block_); }
    void* Get() const { return block_; }

private:
    void* block_;
};

}  // namespace

bool ConvertScriptText(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                       ByteString* inexact) {
    out->Clear();
    inexact->Clear();
    if (size > INT_MAX / 2) return false;
    int units = 0;
    if (encoding == ProfileEncoding::kUtf8) {
        units = size ? MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0)
                     : 0;
        if (size && !units) return false;
    } else if (encoding == ProfileEncoding::kUtf16Le || encoding == ProfileEncoding::kUtf16Be) {
        units = static_cast<int>(size / 2);  // an odd last byte is no character
    } else {
        return false;
    }
    if (!units) return true;

    HeapBlock wideBlock(static_cast<size_t>(units) * sizeof(WCHAR));
    WCHAR* wide = static_cast<WCHAR*>(wideBlock.Get());
    if (!wide) return false;
    if (encoding == ProfileEncoding::kUtf8) {
        MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), wide, units);
    } else {
        // The text need not be aligned for WCHAR access.
        memcpy(wide, text, static_cast<size_t>(units) * sizeof(WCHAR));
        if (encoding == ProfileEncoding::kUtf16Be) {
            for (int i = 0; i < units; ++i) {
                wide[i] = static_cast<WCHAR>((wide[i] >> 8) | (wide[i] << 8));
            }
        }
    }
    // Character by character, to learn which ones the code page only stands
    // in for: those do not come back as themselves.
    for (int i = 0; i < units; ++i) {
        char bytes[8];
        int length = WideCharToMultiByte(CP_ACP, 0, wide + i, 1, bytes, sizeof bytes, nullptr,
                                         nullptr);
        if (length <= 0) return false;
        WCHAR back = 0;
        int backLength = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes, length, &back, 1);
        bool exact = backLength == 1 && back == wide[i];
        out->Append(bytes, static_cast<size_t>(length));
        for (int pos = 0; pos < length; ++pos) {
            inexact->Append(exact ? '\0' : '\1');
            if (IsLeadByte932(static_cast<unsigned char>(bytes[pos])) && pos + 1 < length) ++pos;
        }
    }
    return true;
}

ProfileApiSource::ProfileApiSource(const char* path) : path_(path) {}

ProfileApiSource::~ProfileApiSource() { free(lines_); }

namespace {

// A Unicode file reaches the ANSI functions converted, and keys that the
// code page only stands in for ("\xE9" read as "e") would meet in the lines
// where the API, comparing in Unicode, keeps them apart.
bool IsAnsiFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char head[3];
    DWORD got = 0;
    BOOL read = ReadFile(file, head, sizeof head, &got, nullptr);
    CloseHandle(file);
    size_t mark = 0;
    return read && DetectProfileEncoding(head, got, &mark) == ProfileEncoding::kAnsi;
}

bool IsBlank(char c) { return c != 0 && static_cast<unsigned char>(c) <= ' '; }

bool IsPlainName(const char* name) {
    if (!*name || *name == ';') return false;
    for (; *name; ++name) {
        if (IsBlank(*name) || static_cast<unsigned char>(*name) >= 0x7F || *name == '?')
            return false;
    }
    return true;
}

bool IsQuoteOrBlank(char c) { return c == '"' || c == '\'' || IsBlank(c); }

// A value that no reading trims, unquotes or cuts goes into *value as it is.
bool IsPlainValue(const char* text, size_t bufferSize, ByteString* value) {
    size_t length = strlen(text);
    if (length + 1 >= bufferSize) return false;
    if (length && (IsQuoteOrBlank(text[0]) || IsQuoteOrBlank(text[length - 1]))) return false;
    value->Assign(text, length);
    return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The lines of a section, at most this many bytes; a larger section is
// asked key by key.
constexpr DWORD kLinesSize = 0x100000;

}  // namespace

bool ProfileApiSource::FromSectionLines(const char* section, const char* key, const char* def,
                                        size_t bufferSize, ByteString* value) const {
    // Only a key and a section named in printable ASCII, whose case every
    // reading folds alike, without the white space that readings treat
    // differently in names (the section lines are not found under
    // " Setup "); not a comment, and not "?", which stands in for bytes
    // that are no character of the code page.
    if (!IsPlainName(key) || !IsPlainName(section)) return false;
    size_t keyLength = strlen(key);
    if (strcmp(linesSection_.c_str(), section) != 0) {
        free(lines_);
        lines_ = nullptr;
        linesSection_ = section;
        if (IsAnsiFile(path_.c_str())) {
            // Windows 95 to 98 give no more than 32 KB of lines.
            DWORD room = IsNtPlatform() ? kLinesSize : 0x8000;
            lines_ = static_cast<char*>(calloc(room, 1));
            // The API fills all but two bytes of a buffer that the lines do
            // not fit.
            if (lines_ &&
                GetPrivateProfileSectionA(section, lines_, room, path_.c_str()) >= room - 2) {
                free(lines_);
                lines_ = nullptr;
            }
        }
    }
    if (!lines_) return false;
    for (const char* line = lines_; *line; line += strlen(line) + 1) {
        // A line whose key, less white space that a reading may drop, is
        // key in any case: the first one decides.
        const char* p = line;
        while (IsBlank(*p)) ++p;
        size_t i = 0;
        while (i < keyLength && AsciiLower(p[i]) == AsciiLower(key[i])) ++i;
        if (i < keyLength || (p[i] != '=' && !IsBlank(p[i]) && p[i])) continue;
        // Answered here only as key=value exactly ('=' is never the trail
        // byte of a double-byte character).
        if (p != line || p[i] != '=') return false;
        return IsPlainValue(p + i + 1, bufferSize, value);
    }
    // No line has the key: the default, where it too is plain.
    return IsPlainValue(def, bufferSize, value);
}

ByteString ProfileApiSource::GetValue(const char* section, const char* key, const char* def,
                                      size_t bufferSize) const {
    ByteString fromLines;
    if (key && FromSectionLines(section, key, def, bufferSize, &fromLines)) return fromLines;
    // Zero-filled: where a double-byte character does not fit, the API
    // leaves its lead byte without the trail or the byte untouched.
    char* buffer = static_cast<char*>(calloc(bufferSize ? bufferSize : 1, 1));
    if (!buffer) return ByteString(def);
    GetPrivateProfileStringA(section, key, def, buffer, static_cast<DWORD>(bufferSize),
                             path_.c_str());
    // A lead byte without its trail is no part of the value.
    size_t length = 0;
    for (size_t pos = 0; buffer[pos];) {
        size_t step = CharLength932(buffer + pos);
        if (step == 1 && IsLeadByte932(static_cast<unsigned char>(buffer[pos]))) break;
        pos += step;
        length = pos;
    }
    ByteString value(buffer, length);
    free(buffer);
    return value;
}

StringList ProfileApiSource::GetKeyNames(const char* section, size_t bufferSize) const {
    char* buffer = static_cast<char*>(calloc(bufferSize ? bufferSize : 1, 1));
    if (!buffer) return StringList();
    GetPrivateProfileStringA(section, nullptr, "", buffer, static_cast<DWORD>(bufferSize),
                             path_.c_str());
    StringList names = SplitNameList(buffer, bufferSize);
    free(buffer);
    return names;
}

bool ReadSetupScript(bool uninstallMode) {
    SetupConfig& config = Config();
    ByteString path(config.ScriptDir);
    path.Append("install.inf");
    // A directory of that name is no script either.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    ReadSetupScriptFrom(ProfileApiSource(path.c_str()), uninstallMode, IsNtPlatform(), config);
    return true;
}
