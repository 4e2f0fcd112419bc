#include "package/setup_script_win.h"

#include <windows.h>

#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"

namespace {

// A zero-filled heap buffer. The profile API leaves a byte untouched where a
// double-byte character did not fit, so the buffer must start out clean for
// the answer to end at a character boundary.
class ZeroedBuffer {
public:
    explicit ZeroedBuffer(size_t size)
        : data_(
              static_cast<char*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size ? size : 1))) {}
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;
    ~ZeroedBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    char* Get() const { return data_; }

private:
    char* data_;
};

// Drops a lead byte left without its trail at the end of a cut value, so no
// later multibyte walk pairs it with the terminating zero's neighbour.
void DropDanglingLeadByte(ByteString& text) {
    size_t pos = 0;
    while (pos < text.Length()) {
        size_t step = CharLength932(text.c_str() + pos);
        if (step == 1 && IsLeadByte932(static_cast<unsigned char>(text[pos]))) {
            text.Truncate(pos);
            return;
        }
        pos += step;
    }
}

class ProfileApiSource : public ProfileSource {
public:
    explicit ProfileApiSource(const char* path) : path_(path) {}

    ByteString GetValue(const char* section, const char* key, const char* def,
                        size_t bufferSize) const override {
        ZeroedBuffer buffer(bufferSize);
        if (!buffer.Get()) return ByteString(def);
        GetPrivateProfileStringA(section, key, def, buffer.Get(), static_cast<DWORD>(bufferSize),
                                 path_);
        ByteString value(buffer.Get());
        DropDanglingLeadByte(value);
        return value;
    }

    StringList GetKeyNames(const char* section, size_t bufferSize) const override {
        ZeroedBuffer buffer(bufferSize);
        if (!buffer.Get()) return StringList();
        GetPrivateProfileStringA(section, nullptr, "", buffer.Get(), static_cast<DWORD>(bufferSize),
                                 path_);
        StringList names = SplitNameList(buffer.Get(), bufferSize);
        return names;
    }

private:
    const char* path_;
};

bool IsNtPlatform() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

bool ReadSetupScript(bool uninstallMode) {
    SetupConfig& config = Config();
    ByteString path(config.ScriptDir);
    path.Append("install.inf");
    // A directory of that name is no script either.
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return false;
    }
    ProfileApiSource source(path.c_str());
    ReadSetupScriptFrom(source, uninstallMode, IsNtPlatform(), config);
    return true;
}
