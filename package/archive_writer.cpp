#include "package/archive_writer.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "package/archive.h"

namespace {

constexpr size_t kCopyChunk = 1 << 20;

void AddProblem(ByteString* error, const char* subject, const char* problem) {
    error->Append(subject);
    error->Append(": ");
    error->Append(problem);
    error->Append('\n');
}

// Owns an open stdio stream.
class File {
public:
    File(const char* path, const char* mode) : file_(fopen(path, mode)) {}
    ~File() {
        if (file_) fclose(file_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    FILE* Get() const { return file_; }
    bool Close() {
        bool ok = fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }

private:
    FILE* file_;
};

bool IsDirectory(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// Checks that the archive can begin right at the end of the stub, where the
// reader will look for it. Returns the stub's length, or -1.
int64_t CheckStub(const char* stubPath, ByteString* error) {
    File stub(stubPath, "rb");
    if (!stub.Get()) {
        AddProblem(error, stubPath, "the stub cannot be opened");
        return -1;
    }
    StdioSource source(stub.Get());
    ArchiveStream stream(source);
    ArchiveLocation where;
    int code = LocateArchive(stream, &where);
    bool endsAtSections = code == kArchiveShortAfterImage && where.sectionEnd == where.fileSize;
    bool endsAtDebugRecord = code == kArchiveOk && where.start == where.fileSize;
    if (code == kArchiveSizeFailed) {
        AddProblem(error, stubPath, "the size of the stub cannot be read");
        return -1;
    }
    if (code != kArchiveOk && code < kArchiveSeekSectionEnd) {
        ByteString problem("the stub is not a Windows executable (reader code ");
        problem.AppendNumber(code);
        problem.Append(")");
        AddProblem(error, stubPath, problem.c_str());
        return -1;
    }
    if (!endsAtSections && !endsAtDebugRecord) {
        ByteString problem;
        if (where.fileSize > where.start) {
            problem.AppendNumber(where.fileSize - where.start);
            problem.Append(
                " bytes follow the last section, where the archive must begin "
                "(link the stub stripped, without a symbol table)");
        } else {
            problem.Append("the last section's raw data reaches past the end of the file");
        }
        AddProblem(error, stubPath, problem.c_str());
        return -1;
    }
    if (where.fileSize > INT32_MAX) {
        AddProblem(error, stubPath, "the stub is larger than a 32-bit size can record");
        return -1;
    }
    return where.fileSize;
}

// Checks one input file; returns its size, or -1.
int64_t CheckInput(const ArchiveInput& input, ByteString* error) {
    File file(input.path, "rb");
    if (!file.Get()) {
        AddProblem(error, input.path, "the file is missing or cannot be read");
        return -1;
    }
    int first = fgetc(file.Get());
    if (first == EOF && ferror(file.Get())) {
        AddProblem(error, input.path, "the file cannot be read (is it a directory?)");
        return -1;
    }
    StdioSource source(file.Get());
    int64_t size = 0;
    if (!source.QuerySize(&size)) {
        AddProblem(error, input.path, "the size of the file cannot be read");
        return -1;
    }
    if (first == EOF) {
        AddProblem(error, input.path, "the file is empty; the archive cannot carry an empty file");
        return -1;
    }
    if (size > INT32_MAX) {
        AddProblem(error, input.path, "the file is larger than a 32-bit size can record");
        return -1;
    }
    if (IsSpaceByte(static_cast<unsigned char>(first))) {
        static const char kHex[] = "0123456789ABCDEF";
        ByteString problem("the file begins with a white-space byte (0x");
        problem.Append(kHex[first >> 4]);
        problem.Append(kHex[first & 15]);
        problem.Append("), which the archive reader would skip");
        AddProblem(error, input.path, problem.c_str());
        return -1;
    }
    if (input.time < 0 || input.time > INT32_MAX) {
        AddProblem(error, input.path,
                   "the file time lies outside 1970-01-01 to 2038-01-19 (a signed 32-bit time)");
        return -1;
    }
    return size;
}

struct LoweredName {
    const char* text;
    size_t index;
};

int CompareLoweredNames(const void* a, const void* b) {
    const LoweredName& left = *static_cast<const LoweredName*>(a);
    const LoweredName& right = *static_cast<const LoweredName*>(b);
    int order = strcmp(left.text, right.text);
    if (order != 0) return order;
    return left.index < right.index ? -1 : left.index > right.index;
}

// repeated[i] is set when an earlier input has the same name ignoring case:
// the target is Windows, where such names are one file. Sorted rather than
// compared pair by pair, so that a package of many thousand files is checked
// at once.
void FindRepeatedNames(const ArchiveInput* inputs, size_t count, bool* repeated) {
    StringList lowered;
    for (size_t i = 0; i < count; ++i) lowered.Add(MbToLower(inputs[i].name));
    LoweredName* order =
        static_cast<LoweredName*>(malloc((count ? count : 1) * sizeof(LoweredName)));
    if (!order) abort();
    for (size_t i = 0; i < count; ++i) order[i] = {lowered[i].c_str(), i};
    qsort(order, count, sizeof(LoweredName), CompareLoweredNames);
    for (size_t i = 0; i < count; ++i) {
        repeated[order[i].index] = i > 0 && strcmp(order[i - 1].text, order[i].text) == 0;
    }
    free(order);
}

void CheckName(const ArchiveInput& input, bool repeated, ByteString* error) {
    const char* name = input.name;
    size_t length = strlen(name);
    if (length > kMaxEntryName) {
        AddProblem(error, name, "the name is longer than 259 bytes");
        return;
    }
    if (!IsBareEntryName(name, length)) {
        AddProblem(error, name[0] ? name : "(empty name)",
                   "not a bare file name (no \\ / : * ? \" < > |, \"..\", control characters "
                   "or device names such as CON)");
        return;
    }
    if (MbToLower(name) == kSelfEntryName) {
        AddProblem(error, name, "the name is taken by the installer stub, stored as install.exe");
        return;
    }
    if (repeated) {
        AddProblem(error, name, "the name is stored twice (names are compared ignoring case)");
    }
}

bool WriteText(FILE* out, const ByteString& text) {
    return fwrite(text.c_str(), 1, text.Length(), out) == text.Length();
}

void AppendEntryHeader(ByteString* text, int64_t size, int64_t time, const char* name) {
    text->AppendNumber(size);
    text->Append("\r\n");
    text->AppendNumber(time);
    text->Append("\r\n");
    text->Append(name);
    text->Append("\r\n");
}

// Copies exactly size bytes of the file at path to out.
bool CopyFileBytes(const char* path, int64_t size, FILE* out, char* buffer, ByteString* error) {
    File in(path, "rb");
    if (!in.Get()) {
        AddProblem(error, path, "the file cannot be read");
        return false;
    }
    int64_t copied = 0;
    for (;;) {
        size_t got = fread(buffer, 1, kCopyChunk, in.Get());
        if (got == 0) break;
        copied += static_cast<int64_t>(got);
        if (copied > size) break;
        if (fwrite(buffer, 1, got, out) != got) {
            AddProblem(error, path, "writing the package failed");
            return false;
        }
    }
    if (copied != size) {
        AddProblem(error, path, "the file changed while it was being packed");
        return false;
    }
    return true;
}

bool WriteArchive(FILE* out, const char* stubPath, int64_t stubSize, const ArchiveInput* inputs,
                  const int64_t* sizes, size_t count, int64_t selfTime, ByteString* error) {
    char* buffer = static_cast<char*>(malloc(kCopyChunk));
    if (!buffer) {
        AddProblem(error, stubPath, "out of memory");
        return false;
    }
    bool ok = CopyFileBytes(stubPath, stubSize, out, buffer, error);
    if (ok) {
        ByteString header(kArchiveMagic);
        header.Append("\r\n");
        header.AppendNumber(static_cast<long long>(count));
        header.Append("\r\n");
        AppendEntryHeader(&header, stubSize, selfTime, kSelfEntryName);
        ok = WriteText(out, header);
    }
    for (size_t i = 0; ok && i < count; ++i) {
        ByteString header;
        AppendEntryHeader(&header, sizes[i], inputs[i].time, inputs[i].name);
        ok = WriteText(out, header) && CopyFileBytes(inputs[i].path, sizes[i], out, buffer, error);
    }
    free(buffer);
    return ok;
}

}  // namespace

// Every check; fills the stub's size and each input's size (-1 where refused).
static bool CheckAll(const char* stubPath, const ArchiveInput* inputs, size_t count,
                     int64_t selfTime, ByteString* error, int64_t* stubSize, int64_t* sizes) {
    error->Clear();
    *stubSize = CheckStub(stubPath, error);
    if (selfTime < 0 || selfTime > INT32_MAX) {
        AddProblem(error, kSelfEntryName,
                   "the stub's time lies outside 1970-01-01 to 2038-01-19 (a signed 32-bit time)");
    }
    if (count == 0) AddProblem(error, "(no files)", "an archive needs at least one file");
    if (count > INT32_MAX) AddProblem(error, "(files)", "too many files");
    bool* repeated = static_cast<bool*>(malloc(count ? count : 1));
    if (!repeated) abort();
    FindRepeatedNames(inputs, count, repeated);
    for (size_t i = 0; i < count; ++i) {
        CheckName(inputs[i], repeated[i], error);
        int64_t size = CheckInput(inputs[i], error);
        if (sizes) sizes[i] = size;
    }
    free(repeated);
    return *stubSize >= 0 && error->IsEmpty();
}

bool CheckPackageInputs(const char* stubPath, const ArchiveInput* inputs, size_t count,
                        int64_t selfTime, ByteString* error) {
    int64_t stubSize = 0;
    return CheckAll(stubPath, inputs, count, selfTime, error, &stubSize, nullptr);
}

bool WritePackage(const char* stubPath, const ArchiveInput* inputs, size_t count, int64_t selfTime,
                  const char* outputPath, ByteString* error) {
    int64_t* sizes = static_cast<int64_t*>(malloc((count ? count : 1) * sizeof(int64_t)));
    if (!sizes) abort();
    int64_t stubSize = 0;
    if (!CheckAll(stubPath, inputs, count, selfTime, error, &stubSize, sizes)) {
        free(sizes);
        return false;
    }

    // A package replaces a file of its name, never a directory: the removal
    // below would take an empty one away.
    if (IsDirectory(outputPath)) {
        AddProblem(error, outputPath, "is a directory; the package is written only as a file");
        free(sizes);
        return false;
    }

    // Written under a temporary name beside the output and renamed at the
    // end, so that a failure never leaves a partial package behind. Problems
    // name the output: the temporary name means nothing to the user.
    ByteString partial(outputPath);
    partial.Append(".partial");
    bool ok = false;
    {
        File out(partial.c_str(), "wb");
        if (!out.Get()) {
            ByteString problem("the package cannot be written in its directory: ");
            problem.Append(strerror(errno));
            AddProblem(error, outputPath, problem.c_str());
        } else {
            ok = WriteArchive(out.Get(), stubPath, stubSize, inputs, sizes, count, selfTime, error);
            if (!out.Close() && ok) {
                ByteString problem("writing the package failed: ");
                problem.Append(strerror(errno));
                AddProblem(error, outputPath, problem.c_str());
                ok = false;
            }
        }
    }
    free(sizes);
    // rename() of the Windows runtime does not replace an existing file.
    if (ok && rename(partial.c_str(), outputPath) != 0) {
        if (!IsDirectory(outputPath)) remove(outputPath);
        if (rename(partial.c_str(), outputPath) != 0) {
            ByteString problem("cannot be replaced: ");
            problem.Append(strerror(errno));
            AddProblem(error, outputPath, problem.c_str());
            ok = false;
        }
    }
    if (!ok) remove(partial.c_str());
    return ok;
}
