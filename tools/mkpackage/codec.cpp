// mkpackage compress / expand: SZDD files as the installer's copy
// expands them, stored under the underscore name ("setup.exe" -> "setup.ex_").
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/szdd.h"
#include "tools/mkpackage/commands.h"
#include "tools/mkpackage/host.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;

struct Arguments {
    std::vector<std::string> files;
    std::string outDir;  // empty: beside each input
};

int UsageError(const char* command, const std::string& message) {
    if (!message.empty()) fprintf(stderr, "mkpackage %s: %s\n", command, message.c_str());
    fprintf(stderr, "usage: mkpackage %s FILE... [-o DIR]\n", command);
    return kUsage;
}

int ParseArguments(const char* command, int argc, char** argv, Arguments* args) {
    bool options = true;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "-o") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                return UsageError(command, "-o needs a directory");
            }
            args->outDir = argv[++i];
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return UsageError(command, "unknown option '" + arg + "'");
        } else {
            args->files.push_back(arg);
        }
    }
    if (args->files.empty()) return UsageError(command, "no FILE given");
    host::FileStatus status;
    if (!args->outDir.empty() && (!host::QueryFile(args->outDir, &status) || !status.isDirectory)) {
        return UsageError(command, args->outDir + " is not a directory");
    }
    return 0;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    return host::ReadWholeFile(path, bytes, error);
}

// An output file written under a temporary name beside its destination and
// renamed into place only when complete, so a failure leaves nothing behind
// and never half-overwrites an older file.
class OutputFile {
public:
    ~OutputFile() {
        if (file_) fclose(file_);
        if (!temporary_.empty()) host::RemoveFile(temporary_);
    }

    bool Open(const std::string& path, std::string* error) {
        path_ = path;
        std::vector<char> name(path.begin(), path.end());
        const char kSuffix[] = ".tmp-XXXXXX";
        name.insert(name.end(), kSuffix, kSuffix + sizeof(kSuffix));
        int fd = mkstemp(name.data());
        if (fd < 0) {
            *error = strerror(errno);
            return false;
        }
        temporary_ = name.data();
#ifndef _WIN32
        fchmod(fd, 0644);
#endif
        file_ = fdopen(fd, "wb");
        if (!file_) {
            *error = strerror(errno);
            close(fd);
            return false;
        }
        setvbuf(file_, nullptr, _IOFBF, 1 << 20);
        return true;
    }

    static bool Write(void* context, const uint8_t* bytes, size_t size) {
        OutputFile* self = static_cast<OutputFile*>(context);
        return fwrite(bytes, 1, size, self->file_) == size;
    }

    bool Commit(std::string* error) {
        FILE* file = file_;
        file_ = nullptr;
        if (fclose(file) != 0 || !host::MoveOver(temporary_, path_)) {
            *error = strerror(errno);
            return false;
        }
        temporary_.clear();
        return true;
    }

private:
    std::string path_;
    std::string temporary_;
    FILE* file_ = nullptr;
};

// Names on this side are native text; the package and the header's byte
// speak code page 932, so the underscore rules work on the code page 932 form.
bool ToCodePage932(const std::string& native, std::string* cp932) {
    return host::ToCodePage932(native, cp932);
}
bool FromCodePage932(const std::string& cp932, std::string* native) {
    return host::FromCodePage932(cp932, native);
}

void SplitPath(const std::string& path, std::string* dir, std::string* base) {
    *dir = host::DirName(path);
    *base = host::BaseName(path);
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    return host::JoinPath(dir, name);
}

bool SameFile(const std::string& a, const std::string& b) { return host::SameFile(a, b); }

// Runs the encoder's match-finding jobs on all processors.
void RunOnThreads(void*, void (*job)(void*, size_t), void* argument, size_t count) {
    host::ParallelFor(count, job, argument);
}

// Output paths taken so far in this run: two inputs that would write the same
// file are refused rather than one silently replacing the other.
class Claims {
public:
    bool Claim(const std::string& path) {
        std::lock_guard<std::mutex> lock(mutex_);
        return paths_.insert(path).second;
    }

private:
    std::mutex mutex_;
    std::set<std::string> paths_;
};

Claims g_claims;

// How a compression spreads its match finding: over all processors when it
// is the only file, one after the other when files run side by side.
const SzddRunner* g_runner = nullptr;

int Refuse(const char* command, const std::string& path, const std::string& why) {
    fprintf(stderr, "mkpackage %s: %s: %s\n", command, path.c_str(), why.c_str());
    return kRefused;
}

int CompressOne(const std::string& path, const std::string& outDir, SzddEncoder* encoder) {
    const char* kCommand = "compress";
    std::string dir, base, base932, stored932, stored;
    SplitPath(path, &dir, &base);
    if (!ToCodePage932(base, &base932))
        return Refuse(kCommand, path, "the name cannot be written in code page 932");
    ByteString storedName;
    char replaced;
    if (!MakeUnderscoreName(base932.c_str(), &storedName, &replaced))
        return Refuse(kCommand, path,
                      "the name must end in a single-byte character, which the SZDD header keeps");
    if (!FromCodePage932(storedName.c_str(), &stored))
        return Refuse(kCommand, path, "the name cannot be written in code page 932");
    std::string target = JoinPath(outDir.empty() ? dir : outDir, stored);
    if (SameFile(path, target))
        return Refuse(kCommand, path, "its compressed name is its own name; use -o DIR");
    if (!g_claims.Claim(target))
        return Refuse(kCommand, path, "another input has the same compressed name " + target);

    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(path, &data, &error)) return Refuse(kCommand, path, error);
    OutputFile out;
    if (!out.Open(target, &error)) return Refuse(kCommand, target, error);
    SzddStatus status =
        encoder->Compress(data.data(), data.size(), replaced, OutputFile::Write, &out, g_runner);
    if (status != SzddStatus::kOk) return Refuse(kCommand, path, SzddStatusText(status));
    if (!out.Commit(&error)) return Refuse(kCommand, target, error);
    return 0;
}

// The expanded name: the stored name with "_" turned back into the header's
// character. A header character that cannot end a name (say a control
// character) costs only the name: the data is still good, so "_" is dropped
// as for files that carry no character. A name not ending in "_" is kept.
bool ExpandedName(const std::string& path, const std::string& base, char replaced,
                  std::string* name) {
    std::string base932;
    if (!ToCodePage932(base, &base932)) {
        Refuse("expand", path, "the name cannot be written in code page 932");
        return false;
    }
    ByteString restored;
    if (!RestoreUnderscoreName(base932.c_str(), replaced, &restored)) {
        if (!RestoreUnderscoreName(base932.c_str(), 0, &restored)) {
            *name = base;
            return true;
        }
        fprintf(stderr,
                "mkpackage expand: %s: the header's character 0x%02X cannot end a file name; "
                "dropping the \"_\" instead\n",
                path.c_str(), static_cast<unsigned char>(replaced));
    }
    // The header's character is data: the name it makes obeys the rule of
    // every name the installer writes.
    if (!IsBareEntryName(restored.c_str(), restored.Length())) {
        Refuse("expand", path,
               std::string("the header restores the name ") + restored.c_str() +
                   ", which is no bare file name (a device name such as CON or COM1, or a "
                   "character that names a folder or a drive)");
        return false;
    }
    if (!FromCodePage932(restored.c_str(), name)) {
        Refuse("expand", path, "the restored name is not code page 932 text");
        return false;
    }
    return true;
}

int ExpandOne(const std::string& path, const std::string& outDir, SzddEncoder*) {
    const char* kCommand = "expand";
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadWholeFile(path, &data, &error)) return Refuse(kCommand, path, error);
    SzddHeader header;
    SzddStatus status = SzddReadHeader(data.data(), data.size(), &header);
    if (status != SzddStatus::kOk) return Refuse(kCommand, path, SzddStatusText(status));

    std::string dir, base, name;
    SplitPath(path, &dir, &base);
    if (!ExpandedName(path, base, header.replacedChar, &name)) return kRefused;
    std::string target = JoinPath(outDir.empty() ? dir : outDir, name);
    if (SameFile(path, target))
        return Refuse(kCommand, path, "its expanded name is its own name; use -o DIR");
    if (!g_claims.Claim(target))
        return Refuse(kCommand, path, "another input expands to the same name " + target);

    OutputFile out;
    if (!out.Open(target, &error)) return Refuse(kCommand, target, error);
    status = SzddExpand(data.data(), data.size(), OutputFile::Write, &out, nullptr);
    if (status != SzddStatus::kOk) return Refuse(kCommand, path, SzddStatusText(status));
    if (!out.Commit(&error)) return Refuse(kCommand, target, error);
    return 0;
}

int RunEach(const char* command, int argc, char** argv,
            int (*one)(const std::string&, const std::string&, SzddEncoder*)) {
    Arguments args;
    int usage = ParseArguments(command, argc, argv, &args);
    if (usage) return usage;
    static const SzddRunner kThreads = {RunOnThreads, nullptr};
    g_runner = args.files.size() == 1 ? &kThreads : nullptr;
    // Files run side by side, each on one processor; each thread keeps its
    // encoder's memory from one file to the next.
    struct Run {
        const Arguments* args;
        int (*one)(const std::string&, const std::string&, SzddEncoder*);
        std::vector<SzddEncoder> encoders;
        std::atomic<int> result{0};
    } run{&args, one, std::vector<SzddEncoder>(host::ParallelThreads(args.files.size()))};
    host::ParallelFor(
        args.files.size(),
        [](void* argument, size_t thread, size_t k) {
            Run& run = *static_cast<Run*>(argument);
            if (run.one(run.args->files[k], run.args->outDir, &run.encoders[thread]) != 0) {
                run.result = kRefused;
            }
        },
        &run);
    int result = run.result;
    return result;
}

}  // namespace

int RunCompress(int argc, char** argv) { return RunEach("compress", argc, argv, CompressOne); }

int RunExpand(int argc, char** argv) { return RunEach("expand", argc, argv, ExpandOne); }
