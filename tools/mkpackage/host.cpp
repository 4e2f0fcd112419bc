#include "tools/mkpackage/host.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <thread>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <direct.h>
#include <io.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <sched.h>
#include <unistd.h>
#include <utime.h>
#endif

namespace host {

namespace {

#ifdef _WIN32
bool IsSeparatorChar(char c) { return c == '\\' || c == '/'; }

// Offsets of the characters of path that separate its parts: "\" and "/",
// and the ":" of a drive. Trail bytes of the ANSI code page are skipped.
std::vector<size_t> Separators(const std::string& path) {
    std::vector<size_t> found;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (IsDBCSLeadByte(c) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (IsSeparatorChar(path[i]) || (c == ':' && i == 1)) found.push_back(i);
    }
    return found;
}

// Seconds since 1970 <-> FILETIME (100 ns units since 1601).
constexpr int64_t kEpochDifference = 116444736000000000LL;

int64_t FromFileTime(const FILETIME& time) {
    int64_t ticks =
        static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
    int64_t since = ticks - kEpochDifference;
    // Round towards minus infinity, as POSIX times of pre-1970 files do.
    return since >= 0 ? since / 10000000 : -((-since + 9999999) / 10000000);
}

FILETIME ToFileTime(int64_t seconds) {
    uint64_t ticks = static_cast<uint64_t>(seconds * 10000000 + kEpochDifference);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

bool Recode(UINT from, UINT to, const std::string& text, std::string* result) {
    if (text.empty()) {
        result->clear();
        return true;
    }
    int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
    if (wideLength <= 0) return false;
    std::vector<wchar_t> wide(static_cast<size_t>(wideLength));
    MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                        wide.data(), wideLength);
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, nullptr, 0,
                                     nullptr, &usedDefault);
    if (length <= 0 || usedDefault) return false;
    std::vector<char> out(static_cast<size_t>(length));
    WideCharToMultiByte(to, WC_NO_BEST_FIT_CHARS, wide.data(), wideLength, out.data(), length,
                        nullptr, &usedDefault);
    if (usedDefault) return false;
    result->assign(out.data(), out.size());
    return true;
}

// Both directions are the identity on a system whose ANSI code page is 932;
// elsewhere they go through UTF-16.
bool Convert(UINT from, UINT to, const std::string& text, std::string* result) {
    if (from == to) {
        *result = text;
        return true;
    }
    return Recode(from, to, text, result);
}
#else
std::vector<size_t> Separators(const std::string& path) {
    std::vector<size_t> found;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == '/') found.push_back(i);
    }
    return found;
}

bool Convert(const char* from, const char* to, const std::string& text, std::string* result) {
    if (text.empty()) {
        result->clear();
        return true;
    }
    iconv_t converter = iconv_open(to, from);
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> out(text.size() * 4 + 16);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char* outPointer = out.data();
    size_t outLeft = out.size();
    bool ok = iconv(converter, &in, &inLeft, &outPointer, &outLeft) != static_cast<size_t>(-1) &&
              inLeft == 0;
    iconv_close(converter);
    if (ok) result->assign(out.data(), outPointer);
    return ok;
}
#endif

}  // namespace

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

std::string BaseName(const std::string& path) {
    std::vector<size_t> separators = Separators(path);
    return separators.empty() ? path : path.substr(separators.back() + 1);
}

std::string DirName(const std::string& path) {
    std::vector<size_t> separators = Separators(path);
    if (separators.empty()) return ".";
    size_t last = separators.back();
    // "/name", "C:\name" and "C:name" keep their root.
    if (last == 0 || path[last] == ':' || (last == 2 && path[1] == ':')) {
        return path.substr(0, last + 1);
    }
    return path.substr(0, last);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    std::vector<size_t> separators = Separators(dir);
    if (!separators.empty() && separators.back() == dir.size() - 1) return dir + name;
    return dir + kSeparator + name;
}

bool ToCodePage932(const std::string& native, std::string* cp932) {
#ifdef _WIN32
    return Convert(GetACP(), 932, native, cp932);
#else
    return Convert("UTF-8", "CP932", native, cp932);
#endif
}

bool FromCodePage932(const std::string& cp932, std::string* native) {
#ifdef _WIN32
    return Convert(932, GetACP(), cp932, native);
#else
    return Convert("CP932", "UTF-8", cp932, native);
#endif
}

bool UnicodeScriptTo932(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                        ByteString* inexact) {
    out->Clear();
    inexact->Clear();
    std::u16string wide;
    if (encoding == ProfileEncoding::kUtf16Le || encoding == ProfileEncoding::kUtf16Be) {
        bool bigEndian = encoding == ProfileEncoding::kUtf16Be;
        for (size_t i = 0; i + 1 < size; i += 2) {
            unsigned char first = static_cast<unsigned char>(text[i]);
            unsigned char second = static_cast<unsigned char>(text[i + 1]);
            wide += static_cast<char16_t>(bigEndian ? (first << 8 | second) : (second << 8 | first));
        }
    } else if (encoding == ProfileEncoding::kUtf8) {
#ifdef _WIN32
        int count = MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), nullptr, 0);
        if (size && count <= 0) return false;
        std::vector<wchar_t> units(static_cast<size_t>(count));
        if (count) {
            MultiByteToWideChar(CP_UTF8, 0, text, static_cast<int>(size), units.data(), count);
        }
        for (wchar_t unit : units) wide += static_cast<char16_t>(unit);
#else
        std::string units;
        if (!Convert("UTF-8", "UTF-16LE", std::string(text, size), &units)) return false;
        for (size_t i = 0; i + 1 < units.size(); i += 2) {
            wide += static_cast<char16_t>(static_cast<unsigned char>(units[i]) |
                                          static_cast<unsigned char>(units[i + 1]) << 8);
        }
#endif
    } else {
        return false;
    }
    for (char16_t unit : wide) {
        std::string bytes;
        bool exact = false;
#ifdef _WIN32
        wchar_t w = static_cast<wchar_t>(unit), back = 0;
        char buffer[8];
        int length = WideCharToMultiByte(932, 0, &w, 1, buffer, sizeof buffer, nullptr, nullptr);
        if (length > 0) {
            bytes.assign(buffer, static_cast<size_t>(length));
            exact = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, buffer, length, &back, 1) == 1 &&
                    back == w;
        }
#else
        std::string one{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
        exact = Convert("UTF-16LE", "CP932", one, &bytes) && !bytes.empty();
#endif
        if (bytes.empty()) bytes = "?";
        out->Append(bytes.data(), bytes.size());
        for (size_t pos = 0; pos < bytes.size(); ++pos) {
            inexact->Append(exact ? '\0' : '\1');
            if (IsLeadByte932(static_cast<unsigned char>(bytes[pos])) && pos + 1 < bytes.size()) {
                ++pos;
            }
        }
    }
    return true;
}

bool Utf8ToCodePage932(const std::string& utf8, std::string* cp932) {
#ifdef _WIN32
    return Recode(CP_UTF8, 932, utf8, cp932);
#else
    return Convert("UTF-8", "CP932", utf8, cp932);
#endif
}

namespace {

std::string Escaped(const std::string& cp932) {
    std::string shown;
    for (unsigned char c : cp932) {
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            shown += escape;
        }
    }
    return shown;
}

}  // namespace

std::string Utf8Of932(const std::string& cp932) {
    std::string utf8;
#ifdef _WIN32
    if (Recode(932, CP_UTF8, cp932, &utf8)) return utf8;
#else
    if (Convert("CP932", "UTF-8", cp932, &utf8)) return utf8;
#endif
    return Escaped(cp932);
}

std::string Printable932(const std::string& cp932) {
    std::string native;
    if (FromCodePage932(cp932, &native)) return native;
    return Escaped(cp932);
}

size_t DisplayWidth(const std::string& native) {
#ifdef _WIN32
    return native.size();
#else
    size_t width = 0;
    for (size_t i = 0; i < native.size();) {
        unsigned char lead = static_cast<unsigned char>(native[i]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t code = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < length && i + k < native.size(); ++k) {
            code = code << 6 | (static_cast<unsigned char>(native[i + k]) & 0x3F);
        }
        i += length;
        // The wide ranges that Japanese text uses: Hangul Jamo to the CJK
        // and Hangul syllables, compatibility ideographs, the full-width
        // forms (not the half-width katakana after them) and the
        // supplementary ideographs.
        bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                    (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                    (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                    (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x20000 && code <= 0x3FFFD);
        width += wide ? 2 : 1;
    }
    return width;
#endif
}

bool IsTerminal(FILE* stream) {
#ifdef _WIN32
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

bool QueryFile(const std::string& path, FileStatus* status) {
    *status = FileStatus();
#ifdef _WIN32
    // Not the runtime's stat(): its times go through local time and can be
    // an hour off across a daylight-saving change.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
        // So that LastErrorText() says why, as stat() would.
        DWORD error = GetLastError();
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
                : error == ERROR_ACCESS_DENIED                                 ? EACCES
                                                                               : EIO;
        return false;
    }
    status->isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status->size =
        static_cast<int64_t>(static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow);
    status->modified = FromFileTime(data.ftLastWriteTime);
#else
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return false;
    status->isDirectory = S_ISDIR(info.st_mode);
    status->size = static_cast<int64_t>(info.st_size);
    status->modified = static_cast<int64_t>(info.st_mtime);
#endif
    status->exists = true;
    return true;
}

std::string NameDifferingInCase(const std::string& dir, const std::string& name) {
#ifdef _WIN32
    (void)dir;
    (void)name;
    return std::string();
#else
    auto lower = [](std::string text) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return text;
    };
    std::string wanted = lower(name);
    std::string found;
    if (DIR* listing = opendir(dir.c_str())) {
        while (dirent* entry = readdir(listing)) {
            if (entry->d_name != name && lower(entry->d_name) == wanted) {
                found = entry->d_name;
                break;
            }
        }
        closedir(listing);
    }
    return found;
#endif
}

Presence Lookup(const std::string& path) {
#ifdef _WIN32
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return Presence::kNone;
    // A link to a directory is a reparse point, replaced like a file.
    bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
                     (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    return directory ? Presence::kDirectory : Presence::kOther;
#else
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return Presence::kNone;
    return S_ISDIR(info.st_mode) ? Presence::kDirectory : Presence::kOther;
#endif
}

bool WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* error) {
#ifdef _WIN32
    // CREATE_NEW fails on any existing name, a link included.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError() == ERROR_FILE_EXISTS ? "it exists already" : "it cannot be created";
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += chunk;
    }
    if (!CloseHandle(file)) ok = false;
    if (!ok) {
        *error = "writing failed";
        DeleteFileA(path.c_str());
    }
    return ok;
#else
    // O_EXCL with O_CREAT never follows a link, not even a dangling one.
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (file < 0) {
        *error = LastErrorText();
        return false;
    }
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t written = write(file, bytes.data() + done, bytes.size() - done);
        ok = written > 0;
        if (ok) done += static_cast<size_t>(written);
    }
    if (!ok) *error = LastErrorText();
    if (close(file) != 0 && ok) {
        *error = LastErrorText();
        ok = false;
    }
    if (!ok) unlink(path.c_str());
    return ok;
#endif
}

bool MakeDirectory(const std::string& path) {
#ifdef _WIN32
    CreateDirectoryA(path.c_str(), nullptr);
#else
    mkdir(path.c_str(), 0777);
#endif
    FileStatus status;
    return QueryFile(path, &status) && status.isDirectory;
}

bool MakeDirectories(const std::string& path) {
    for (size_t separator : Separators(path)) {
        std::string prefix = path.substr(0, separator);
        // The root, a drive ("C:") and doubled separators are no levels.
        if (prefix.empty() || path[separator] == ':' || (prefix.size() == 2 && prefix[1] == ':') ||
            separator + 1 == path.size()) {
            continue;
        }
        FileStatus status;
        if (!QueryFile(prefix, &status) && !MakeDirectory(prefix)) return false;
    }
    return MakeDirectory(path);
}

bool SetFileTimes(const std::string& path, int64_t seconds) {
#ifdef _WIN32
    HANDLE file =
        CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    FILETIME time = ToFileTime(seconds);
    bool ok = SetFileTime(file, nullptr, &time, &time) != 0;
    CloseHandle(file);
    return ok;
#else
    struct utimbuf times;
    times.actime = static_cast<time_t>(seconds);
    times.modtime = static_cast<time_t>(seconds);
    return utime(path.c_str(), &times) == 0;
#endif
}

bool SameFile(const std::string& a, const std::string& b) {
#ifdef _WIN32
    // The runtime's stat() has no inode numbers; the file index has.
    BY_HANDLE_FILE_INFORMATION info[2];
    const std::string* paths[2] = {&a, &b};
    for (int i = 0; i < 2; ++i) {
        HANDLE file = CreateFileA(paths[i]->c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        bool ok = GetFileInformationByHandle(file, &info[i]) != 0;
        CloseHandle(file);
        if (!ok) return false;
    }
    return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
           info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
           info[0].nFileIndexLow == info[1].nFileIndexLow;
#else
    struct stat sa, sb;
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

bool MoveOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool RemoveFile(const std::string& path) { return remove(path.c_str()) == 0; }

bool RemoveEmptyDirectory(const std::string& path) {
#ifdef _WIN32
    return RemoveDirectoryA(path.c_str()) != 0;
#else
    return rmdir(path.c_str()) == 0;
#endif
}

int ProcessId() {
#ifdef _WIN32
    return static_cast<int>(GetCurrentProcessId());
#else
    return static_cast<int>(getpid());
#endif
}

std::string LastErrorText() { return strerror(errno); }

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        *error = LastErrorText();
        return false;
    }
    bytes->clear();
    FileStatus status;
    if (QueryFile(path, &status) && !status.isDirectory) {
        bytes->reserve(static_cast<size_t>(status.size));
    }
    uint8_t buffer[1 << 16];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + got);
    }
    bool ok = !ferror(file);
    if (!ok) *error = LastErrorText();
    fclose(file);
    return ok;
}

namespace {

const std::vector<std::string>* volatile gRemoveOnSignal = nullptr;

// Only calls that are safe in a signal handler: remove, rmdir, signal, raise.
extern "C" void RemoveAndRaise(int signalNumber) {
    if (const std::vector<std::string>* paths = gRemoveOnSignal) {
        for (const std::string& path : *paths) {
#ifdef _WIN32
            if (remove(path.c_str()) != 0) _rmdir(path.c_str());
#else
            if (unlink(path.c_str()) != 0) rmdir(path.c_str());
#endif
        }
    }
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// The signals that end a build part-way. SIGPIPE: the reader of the
// progress lines went away (a pipe into head, a killed log collector) while
// the lines are still being printed.
const int kStoppingSignals[] = {
    SIGINT,
    SIGTERM,
#ifdef SIGPIPE
    SIGPIPE,
#endif
};

}  // namespace

RemoveOnSignal::RemoveOnSignal(const std::vector<std::string>* paths) {
    gRemoveOnSignal = paths;
    // A signal that was ignored when the program started (nohup, a
    // background job of a script) stays ignored.
    for (int signalNumber : kStoppingSignals) {
        if (signal(signalNumber, RemoveAndRaise) == SIG_IGN) signal(signalNumber, SIG_IGN);
    }
}

void RemoveOnSignal::Watch(const std::vector<std::string>* paths) { gRemoveOnSignal = paths; }

RemoveOnSignal::~RemoveOnSignal() {
    for (int signalNumber : kStoppingSignals) {
        if (signal(signalNumber, SIG_DFL) == SIG_IGN) signal(signalNumber, SIG_IGN);
    }
    gRemoveOnSignal = nullptr;
}

size_t Processors() {
#if defined(__linux__)
    // Only the processors this process may run on: under taskset or a
    // container's limit, more threads than those would only take turns.
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0) {
        return static_cast<size_t>(CPU_COUNT(&allowed));
    }
#endif
    size_t count = std::thread::hardware_concurrency();
    return count ? count : 1;
}

size_t ParallelThreads(size_t count) { return Processors() < count ? Processors() : count; }

void ParallelFor(size_t count, void (*job)(void* argument, size_t thread, size_t k),
                 void* argument) {
    std::atomic<size_t> next{0};
    auto worker = [&](size_t thread) {
        for (size_t k; (k = next++) < count;) job(argument, thread, k);
    };
    size_t threads = ParallelThreads(count);
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(worker, t);
    worker(0);
    for (std::thread& helper : helpers) helper.join();
}

namespace {

struct PlainJob {
    void (*job)(void* argument, size_t k);
    void* argument;
};

void RunPlainJob(void* plain, size_t, size_t k) {
    static_cast<PlainJob*>(plain)->job(static_cast<PlainJob*>(plain)->argument, k);
}

}  // namespace

void ParallelFor(size_t count, void (*job)(void* argument, size_t k), void* argument) {
    PlainJob plain = {job, argument};
    ParallelFor(count, RunPlainJob, &plain);
}

}  // namespace host
