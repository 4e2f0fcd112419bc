#include "engine/pending_renames_win.h"

#include <windows.h>
#include <string.h>

#include "package/nt_security_win.h"

namespace {

const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// Length in characters of a zero-terminated wide string.
size_t WideLength(const wchar_t* text) {
    size_t length = 0;
    while (text[length]) ++length;
    return length;
}

// The value's text: pairs of zero-terminated strings, the list ended by an
// empty source. An empty destination is a deletion, so an empty string
// inside the list does not end it; only the count of characters does.
class Records {
public:
    Records() = default;
    Records(const Records&) = delete;
    Records& operator=(const Records&) = delete;
    ~Records() { delete[] text_; }

    // False when the value is absent or cannot be read.
    bool Read(const NtFileFunctions& nt, HKEY key) {
        DWORD type = 0, size = 0;
        if (nt.RegQueryValueExW(key, kPendingValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
            (type != REG_MULTI_SZ && type != REG_SZ)) {
            return false;
        }
        count_ = size / sizeof(wchar_t);
        // Two more zeros, so that a value without its terminators still ends.
        text_ = new wchar_t[count_ + 2];
        DWORD read = size;
        if (nt.RegQueryValueExW(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(text_),
                             &read) != ERROR_SUCCESS) {
            return false;
        }
        count_ = read / sizeof(wchar_t);
        text_[count_] = L'\0';
        text_[count_ + 1] = L'\0';
        return true;
    }

    // Calls visit(source, destination) for each pair, in order.
    template <typename Visit>
    void ForEachPair(Visit visit) const {
        for (size_t at = 0; at < count_ && text_[at];) {
            const wchar_t* source = text_ + at;
            at += WideLength(source) + 1;
            const wchar_t* destination = at <= count_ ? text_ + at : L"";
            at += WideLength(destination) + 1;
            visit(source, destination);
        }
    }

    size_t Count() const { return count_; }

private:
    wchar_t* text_ = nullptr;
    size_t count_ = 0;
};

// The path in the form MoveFileEx records it, without its "\??\" prefix.
const wchar_t* WithoutPrefix(const wchar_t* recorded) {
    return recorded[0] == L'\\' && recorded[1] == L'?' && recorded[2] == L'?' &&
                   recorded[3] == L'\\'
               ? recorded + 4
               : recorded;
}

// A wide copy of a code page 932 path; null when it cannot be converted.
wchar_t* WidePath(const char* path) {
    int length = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    wchar_t* wide = new wchar_t[static_cast<size_t>(length)];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, length) != length) {
        delete[] wide;
        return nullptr;
    }
    return wide;
}

bool IsDeletionOf(const NtFileFunctions& nt, const wchar_t* source, const wchar_t* destination,
                  const wchar_t* path) {
    // Paths of the file system compare without regard to case.
    return !destination[0] && nt.lstrcmpiW(WithoutPrefix(source), path) == 0;
}

}  // namespace

bool IsDeletionPending(const char* path) {
    // The records exist on the NT family only.
    const NtFileFunctions* nt = NtFiles();
    if (!nt) return false;
    wchar_t* wide = WidePath(path);
    if (!wide) return false;
    HKEY key = nullptr;
    bool pending = false;
    if (nt->RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) ==
        ERROR_SUCCESS) {
        Records records;
        if (records.Read(*nt, key)) {
            records.ForEachPair([&](const wchar_t* source, const wchar_t* destination) {
                if (IsDeletionOf(*nt, source, destination, wide)) pending = true;
            });
        }
        RegCloseKey(key);
    }
    delete[] wide;
    return pending;
}

bool CancelPendingDeletion(const char* path) {
    const NtFileFunctions* nt = NtFiles();
    if (!nt) return false;
    wchar_t* wide = WidePath(path);
    if (!wide) return false;
    HKEY key = nullptr;
    if (nt->RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS) {
        delete[] wide;
        return false;
    }
    bool cancelled = true;
    Records records;
    if (records.Read(*nt, key)) {
        // The pairs that stay, and the terminating empty source. A value
        // read without its terminators gains up to two zeros here.
        wchar_t* kept = new wchar_t[records.Count() + 3];
        size_t length = 0;
        bool found = false;
        records.ForEachPair([&](const wchar_t* source, const wchar_t* destination) {
            if (IsDeletionOf(*nt, source, destination, wide)) {
                found = true;
                return;
            }
            const wchar_t* pair[2] = {source, destination};
            for (const wchar_t* text : pair) {
                size_t size = WideLength(text) + 1;
                memcpy(kept + length, text, size * sizeof(wchar_t));
                length += size;
            }
        });
        kept[length++] = L'\0';
        if (found) {
            LONG status = length > 1
                              ? nt->RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ,
                                                   reinterpret_cast<const BYTE*>(kept),
                                                   static_cast<DWORD>(length * sizeof(wchar_t)))
                              : nt->RegDeleteValueW(key, kPendingValue);
            cancelled = status == ERROR_SUCCESS;
        }
        delete[] kept;
    }
    RegCloseKey(key);
    delete[] wide;
    return cancelled;
}
