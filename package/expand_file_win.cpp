#include "package/expand_file_win.h"

#include <windows.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

#include "package/szdd.h"

namespace {

constexpr int kBadInput = -1;
constexpr int kReadError = -3;
constexpr int kWriteError = -4;
constexpr int kOutOfMemory = -5;
constexpr int kBadValue = -7;
constexpr int kUnknownAlgorithm = -8;

// Reads and writes go in large blocks: under Wine every call is a trip to
// the server and the host system, and small pieces cost more than the data.
constexpr DWORD kInputBlock = 256 * 1024;
constexpr size_t kOutputBlock = 256 * 1024;

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (Valid()) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }
    // Closes now; false when the close fails (the last writes may be lost).
    bool Close() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return CloseHandle(handle) != FALSE;
    }

private:
    HANDLE handle_;
};

// Fills buffer from the file up to capacity bytes or the end of the file;
// *got is what came. False on a read error.
bool ReadUpTo(HANDLE file, uint8_t* buffer, DWORD capacity, DWORD* got) {
    *got = 0;
    while (*got < capacity) {
        DWORD piece = 0;
        if (!ReadFile(file, buffer + *got, capacity - *got, &piece, nullptr)) return false;
        if (piece == 0) break;
        *got += piece;
    }
    return true;
}

bool WriteAll(HANDLE file, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        DWORD piece = 0;
        if (!WriteFile(file, bytes, static_cast<DWORD>(size), &piece, nullptr) || piece == 0)
            return false;
        bytes += piece;
        size -= piece;
    }
    return true;
}

bool WriteToFile(void* context, const uint8_t* bytes, size_t size) {
    return WriteAll(static_cast<HANDLE>(context), bytes, size);
}

int CopyPlain(HANDLE input, HANDLE output, uint8_t* buffer, DWORD first) {
    uint64_t total = 0;
    for (DWORD got = first; got > 0;) {
        total += got;
        if (total > INT_MAX) return kBadValue;
        if (!WriteAll(output, buffer, got)) return kWriteError;
        if (got < kInputBlock) break;
        if (!ReadUpTo(input, buffer, kInputBlock, &got)) return kReadError;
    }
    return static_cast<int>(total);
}

int Expand(HANDLE input, HANDLE output, const SzddHeader& header, uint8_t* in, DWORD first,
           uint8_t* window, size_t windowSize) {
    if (header.length > INT_MAX) return kBadValue;
    SzddDecoder decoder(header.length, window, windowSize, WriteToFile, output);
    const uint8_t* data = in + kSzddHeaderSize;
    size_t have = first - kSzddHeaderSize;
    bool last = first < kInputBlock;
    for (;;) {
        size_t used = 0;
        SzddStatus status = decoder.Decode(data, have, last, &used);
        if (status == SzddStatus::kWriteFailed) return kWriteError;
        if (status != SzddStatus::kOk) return kReadError;
        if (last) return static_cast<int>(header.length);
        // A group cut by the end of the block goes in front of the next one.
        const size_t left = have - used;
        memmove(in, data + used, left);
        const DWORD wanted = kInputBlock - static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadUpTo(input, in + left, wanted, &got)) return kReadError;
        data = in;
        have = left + got;
        last = got < wanted;
    }
}

int Transfer(HANDLE input, HANDLE output) {
    const size_t windowSize = SzddDecoder::kHistory + kOutputBlock;
    uint8_t* memory = static_cast<uint8_t*>(malloc(kInputBlock + windowSize));
    if (!memory) return kOutOfMemory;
    uint8_t* in = memory;
    DWORD first = 0;
    int result = kReadError;
    if (ReadUpTo(input, in, kInputBlock, &first)) {
        // The header decides, not the name. A file too short for a header
        // is plain, as it is to the system's LZ library.
        SzddHeader header;
        SzddStatus status = first < kSzddHeaderSize ? SzddStatus::kTruncatedHeader
                                                    : SzddReadHeader(in, first, &header);
        if (status == SzddStatus::kOk) {
            result = Expand(input, output, header, in, first, memory + kInputBlock, windowSize);
        } else if (status == SzddStatus::kBadMode) {
            result = kUnknownAlgorithm;
        } else {
            result = CopyPlain(input, output, in, first);
        }
    }
    free(memory);
    return result;
}

}  // namespace

int ExpandFile(const char* destination, const char* source) {
    FileHandle input(CreateFileA(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input.Valid()) return kBadInput;
    FileHandle output(CreateFileA(destination, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.Valid()) return kBadInput;
    int result = Transfer(input.Get(), output.Get());
    if (!output.Close() && result >= 0) result = kWriteError;
    if (result < 0) DeleteFileA(destination);
    return result;
}
