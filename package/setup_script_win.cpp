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

ByteString ProfileApiSource::GetValue(const char* section, const char* key, const char* def,
                                      size_t bufferSize) const {
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
