#include "package/extract_win.h"

#include <windows.h>

#include "package/archive.h"
#include "package/setup_config.h"

namespace {

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (the archive's epoch).
constexpr ULONGLONG kEpochDifference = 11644473600ULL;

// The executable, read through the file API. ReadFile takes a 32-bit count,
// so an entry of up to 2 GiB is read in a few calls.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}

    bool QuerySize(int64_t* size) override {
        LARGE_INTEGER value;
        if (!GetFileSizeEx(file_, &value)) return false;
        *size = value.QuadPart;
        return true;
    }

    bool Seek(int64_t offset) override {
        if (offset < 0) return false;
        LARGE_INTEGER distance;
        distance.QuadPart = offset;
        return SetFilePointerEx(file_, distance, nullptr, FILE_BEGIN) != 0;
    }

    size_t Read(void* buffer, size_t size) override {
        char* out = static_cast<char*>(buffer);
        size_t done = 0;
        while (done < size) {
            size_t left = size - done;
            DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
            DWORD got = 0;
            if (!ReadFile(file_, out + done, chunk, &got, nullptr) || got == 0) break;
            done += got;
        }
        return done;
    }

private:
    HANDLE file_;
};

// Writes the entries into the extraction directory and records each
// completed file in SetupConfig.
class DirectorySink : public ExtractSink {
public:
    DirectorySink() = default;
    DirectorySink(const DirectorySink&) = delete;
    DirectorySink& operator=(const DirectorySink&) = delete;
    ~DirectorySink() override {
        if (file_ != INVALID_HANDLE_VALUE) Discard();
    }

    // GetTempFileNameA makes the name unique by creating a file of that
    // name; the file gives way to a directory of the same name.
    void Prepare() override {
        char tempDir[MAX_PATH] = "";
        char path[MAX_PATH] = "";
        GetTempPathA(sizeof tempDir, tempDir);
        if (!GetTempFileNameA(tempDir, "KTW", 0, path)) return;
        DeleteFileA(path);
        Config().ExtractDir = path;
        CreateDirectoryA(path, nullptr);
    }

    bool Create(const char* name) override {
        const ByteString& dir = Config().ExtractDir;
        // Without a directory the name would land wherever the path leads.
        if (dir.IsEmpty()) return false;
        path_ = dir;
        path_.Append('\\');
        path_.Append(name);
        if (path_.Length() >= MAX_PATH) return false;
        // A fresh file is cheapest to create as new; truncating an existing
        // one (an archive naming a file twice) costs a flush at close.
        file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file_ == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        return file_ != INVALID_HANDLE_VALUE;
    }

    bool Write(const void* data, size_t size) override {
        const char* in = static_cast<const char*>(data);
        while (size > 0) {
            DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!WriteFile(file_, in, chunk, &written, nullptr) || written != chunk) return false;
            in += chunk;
            size -= chunk;
        }
        return true;
    }

    // A time before 1970 is refused, as the C runtime's time functions do.
    bool Stamp(int32_t time) override {
        if (time < 0) return false;
        ULARGE_INTEGER ticks;
        ticks.QuadPart = (static_cast<ULONGLONG>(time) + kEpochDifference) * 10000000ULL;
        FILETIME stamp;
        stamp.dwLowDateTime = ticks.LowPart;
        stamp.dwHighDateTime = ticks.HighPart;
        return SetFileTime(file_, nullptr, &stamp, &stamp) != 0;
    }

    bool Finish() override {
        BOOL closed = CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        if (!closed) {
            DeleteFileA(path_.c_str());
            return false;
        }
        Config().ExtractedFiles.Add(path_);
        return true;
    }

    void Discard() override {
        CloseHandle(file_);
        file_ = INVALID_HANDLE_VALUE;
        DeleteFileA(path_.c_str());
    }

private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    ByteString path_;
};

}  // namespace

int ExtractPackageFrom(const char* exePath) {
    HANDLE file = CreateFileA(exePath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kArchiveOpenFailed;
    ArchiveOutcome outcome;
    int code;
    {
        FileSource source(file);
        DirectorySink sink;
        code = ExtractArchive(source, sink, &outcome);
    }
    CloseHandle(file);
    if (code != kArchiveOk) {
        // Nothing of a failed extraction is of use: the run ends with a
        // message, and a process ended from that message box must not leave
        // the files behind.
        RemoveExtractedFiles();
        return code;
    }
    if (outcome == ArchiveOutcome::kExtracted) {
        SetupConfig& config = Config();
        config.ScriptDir = config.ExtractDir;
        config.ScriptDir.Append('\\');
    }
    return kArchiveOk;
}

int ExtractPackage() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    // A truncated path would name some other file.
    if (length == 0 || length >= sizeof path) return kArchiveOpenFailed;
    return ExtractPackageFrom(path);
}

void RemoveExtractedFiles() {
    SetupConfig& config = Config();
    if (config.ExtractDir.IsEmpty()) return;
    for (size_t i = 0; i < config.ExtractedFiles.Count(); ++i) {
        DeleteFileA(config.ExtractedFiles[i].c_str());
    }
    RemoveDirectoryA(config.ExtractDir.c_str());
    config.ExtractedFiles.Clear();
    config.ExtractDir.Clear();
}
