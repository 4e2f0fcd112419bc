#include "package/own_image_win.h"

namespace {

// Large blocks: a stub with a package of many megabytes is copied in few
// calls.
constexpr DWORD kCopyBlock = 64 * 1024;

}  // namespace

HANDLE OwnImageFile() {
    static HANDLE file;
    static bool tried;
    if (tried) return file;
    tried = true;
    file = INVALID_HANDLE_VALUE;
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A truncated path would name some other file.
    if (length == 0 || length >= sizeof path) return file;
    file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    return file;
}

bool WriteOwnImage(HANDLE target) {
    HANDLE source = OwnImageFile();
    if (source == INVALID_HANDLE_VALUE) return false;
    if (SetFilePointer(source, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    static char block[kCopyBlock];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, block, sizeof block, &got, nullptr)) return false;
        if (got == 0) return true;
        DWORD written = 0;
        if (!WriteFile(target, block, got, &written, nullptr) || written != got) return false;
    }
}
