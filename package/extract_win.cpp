#include "package/extract_win.h"

#include <windows.h>

#include "package/archive.h"
#include "package/own_image_win.h"
#include "package/private_temp_win.h"
#include "package/setup_config.h"

namespace {

// The extraction directory, open without delete sharing while it is in use
// (NT family only).
HANDLE g_directoryHold = nullptr;  // none until Prepare

// Seconds between 1601-01-01 (FILETIME) and 1970-01-01 (the archive's epoch).
constexpr ULONGLONG kEpochDifference = 11644473600ULL;

// The executable, read through the file API. ReadFile takes a 32-bit count,
// so an entry of up to 2 GiB is read in a few calls. Sizes and positions go
// through the high words of GetFileSize and SetFilePointer, which every
// Windows has.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}

    bool QuerySize(int64_t* size) override {
        DWORD high = 0;
        DWORD low = GetFileSize(file_, &high);
        if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
        *size = static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
        return true;
    }

    bool Seek(int64_t offset) override {
        if (offset < 0) return false;
        LONG high = static_cast<LONG>(static_cast<uint64_t>(offset) >> 32);
        DWORD low = SetFilePointer(file_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN);
        return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
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

    // A new directory that only administrators can use, held open so that
    // nobody can rename it and put another one in its place (the user who
    // owns the temporary directory could, without any access to the
    // directory itself).
    void Prepare() override {
        ByteString path;
        if (CreatePrivateTempDirectory("KTW", &path, &g_directoryHold)) Config().ExtractDir = path;
    }

    bool Create(const char* name) override {
        const ByteString& dir = Config().ExtractDir;
        // Without a directory the name would land wherever the path leads.
        if (dir.IsEmpty()) return false;
        path_ = dir;
        path_.Append('\\');
        path_.Append(name);
        if (path_.Length() >= MAX_PATH) return false;
        // Always a new file: the directory was empty, so a name that exists
        // is one the archive names twice (compared ignoring case, as the file
        // system does), and such an archive is refused rather than deciding
        // which of the two the installation gets.
        file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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

namespace {

int ExtractPackageFromFile(HANDLE file) {
    ArchiveOutcome outcome;
    int code;
    {
        FileSource source(file);
        DirectorySink sink;
        code = ExtractArchive(source, sink, &outcome);
    }
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

}  // namespace

int ExtractPackageFrom(const char* exePath) {
    HANDLE file = CreateFileA(exePath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return kArchiveOpenFailed;
    int code = ExtractPackageFromFile(file);
    CloseHandle(file);
    return code;
}

int ExtractPackage() {
    HANDLE file = OwnImageFile();
    if (file == INVALID_HANDLE_VALUE) return kArchiveOpenFailed;
    return ExtractPackageFromFile(file);
}

void RemoveExtractedFiles() {
    SetupConfig& config = Config();
    if (config.ExtractDir.IsEmpty()) return;
    // Only the files this run wrote, each by its own name: nothing is
    // searched, so nothing that appeared there is followed.
    for (size_t i = 0; i < config.ExtractedFiles.Count(); ++i) {
        DeleteFileA(config.ExtractedFiles[i].c_str());
    }
    if (g_directoryHold && g_directoryHold != INVALID_HANDLE_VALUE) CloseHandle(g_directoryHold);
    g_directoryHold = nullptr;
    // Removes an empty directory, or a junction put there since (the link,
    // never what it leads to).
    RemoveDirectoryA(config.ExtractDir.c_str());
    config.ExtractedFiles.Clear();
    config.ExtractDir.Clear();
}
