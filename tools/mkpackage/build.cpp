// mkpackage build: an installer from a setup script and the folder of the
// product's files, in one step.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/archive_writer.h"
#include "package/szdd.h"
#include "tools/mkpackage/build_plan.h"
#include "tools/mkpackage/command_support.h"
#include "tools/mkpackage/commands.h"
#include "tools/mkpackage/host.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr const char kUsageText[] =
    "usage: mkpackage build --script DIR/install.inf --from DIR... --stub STUB -o OUT\n"
    "                       [--time SECONDS] [--quiet] [--plain NAME]... [--compress NAME]...\n";

int UsageError(const std::string& message) {
    fprintf(stderr, "mkpackage build: %s\n%s", message.c_str(), kUsageText);
    return kUsage;
}

void PrintLines(const std::vector<std::string>& lines, const char* prefix) {
    for (const std::string& line : lines) {
        fprintf(stderr, "mkpackage build: %s%s\n", prefix, line.c_str());
    }
}

// The stub must end where the installer will look for the archive; said
// before anything is compressed. The writer checks it again.
bool CheckStub(const std::string& path, std::vector<std::string>* problems) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        problems->push_back(path + ": the stub cannot be read");
        return false;
    }
    StdioSource source(file);
    ArchiveStream stream(source);
    ArchiveLocation where;
    int code = LocateArchive(stream, &where);
    fclose(file);
    bool endsAtSections = code == kArchiveShortAfterImage && where.sectionEnd == where.fileSize;
    bool endsAtDebugRecord = code == kArchiveOk && where.start == where.fileSize;
    if (endsAtSections || endsAtDebugRecord) return true;
    if (code != kArchiveOk && code < kArchiveSeekSectionEnd) {
        problems->push_back(path + ": the stub is not a Windows executable (detail code " +
                            std::to_string(code) + ")");
    } else if (where.fileSize > where.start) {
        problems->push_back(path + ": " + std::to_string(where.fileSize - where.start) +
                            " bytes follow the stub's last section, where the archive must "
                            "begin (is it already a package, or not linked stripped?)");
    } else {
        problems->push_back(path + ": the last section's data reaches past the end of the file");
    }
    return false;
}

// The SZDD forms of the entries that may be stored compressed.
struct Compression {
    const std::vector<PlannedEntry>* entries;
    std::vector<size_t> jobs;                // entry indices
    std::vector<std::vector<uint8_t>> data;  // per job
    std::vector<std::string> errors;         // per job, empty on success
    const SzddRunner* runner;
};

bool AppendBytes(void* context, const uint8_t* bytes, size_t size) {
    static_cast<std::vector<uint8_t>*>(context)->insert(
        static_cast<std::vector<uint8_t>*>(context)->end(), bytes, bytes + size);
    return true;
}

void CompressJob(void* argument, size_t k) {
    Compression& work = *static_cast<Compression*>(argument);
    const PlannedEntry& entry = (*work.entries)[work.jobs[k]];
    std::vector<uint8_t> input;
    std::string error;
    if (!host::ReadWholeFile(entry.path, &input, &error)) {
        work.errors[k] = entry.path + ": " + error;
        return;
    }
    if (static_cast<int64_t>(input.size()) != entry.size) {
        work.errors[k] = entry.path + ": the file changed while the package was being built";
        return;
    }
    work.data[k].reserve(input.size() / 2 + kSzddHeaderSize);
    char replaced = entry.recordsLastChar ? entry.replacedChar : 0;
    SzddStatus status =
        SzddCompress(input.data(), input.size(), replaced, AppendBytes, &work.data[k], work.runner);
    if (status != SzddStatus::kOk) {
        work.errors[k] = entry.path + ": " + SzddStatusText(status);
    }
}

void RunOnAllProcessors(void*, void (*job)(void*, size_t), void* argument, size_t count) {
    host::ParallelFor(count, job, argument);
}

// Compresses side by side, one file per processor; a lone file spreads its
// own match finding instead.
void CompressAll(Compression* work) {
    static const SzddRunner kThreads = {RunOnAllProcessors, nullptr};
    work->runner = work->jobs.size() == 1 ? &kThreads : nullptr;
    work->data.resize(work->jobs.size());
    work->errors.resize(work->jobs.size());
    host::ParallelFor(work->jobs.size(), CompressJob, work);
}

// Removes the compressed forms written for the writer, whatever happens.
class PartsDirectory {
public:
    explicit PartsDirectory(const std::string& output)
        : path_(output + ".parts-" + std::to_string(host::ProcessId())) {}
    ~PartsDirectory() {
        for (const std::string& file : files_) host::RemoveFile(file);
        if (made_) host::RemoveEmptyDirectory(path_);
    }
    PartsDirectory(const PartsDirectory&) = delete;
    PartsDirectory& operator=(const PartsDirectory&) = delete;

    bool Write(const std::vector<uint8_t>& bytes, std::string* path, std::string* error) {
        if (!made_) {
            made_ = host::MakeDirectory(path_);
            if (!made_) {
                *error = path_ + ": cannot be created";
                return false;
            }
        }
        *path = host::JoinPath(path_, std::to_string(files_.size()) + ".szdd");
        FILE* file = fopen(path->c_str(), "wb");
        if (!file) {
            *error = *path + ": " + host::LastErrorText();
            return false;
        }
        files_.push_back(*path);
        bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (fclose(file) != 0) ok = false;
        if (!ok) *error = *path + ": writing failed";
        return ok;
    }

private:
    std::string path_;
    bool made_ = false;
    std::vector<std::string> files_;
};

std::string Percent(int64_t part, int64_t whole) {
    char text[32];
    snprintf(text, sizeof text, "%.1f%%",
             whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

// text padded with spaces to width columns (bytes), on the left or right.
std::string Left(const std::string& text, size_t width) {
    return text.size() < width ? text + std::string(width - text.size(), ' ') : text;
}
std::string Right(int64_t number, size_t width) {
    std::string text = std::to_string(number);
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

void PrintProgress(const PlannedEntry& entry, int64_t storedSize, int64_t compressedSize) {
    std::string name = host::Printable932(entry.name);
    std::string stored = host::Printable932(StoredName(entry));
    std::string why = entry.formReason.empty() ? std::string() : ", " + entry.formReason;
    std::string line;
    if (entry.form == StoredForm::kCompressed) {
        line = Left(name + " -> " + stored, 40) + Right(entry.size, 10) + " -> " +
               Right(storedSize, 10) + " bytes (" + Percent(storedSize, entry.size) + why + ")";
    } else if (entry.asIs) {
        line = Left(stored, 40) + Right(storedSize, 10) + " bytes (as is" + why + ")";
    } else if (compressedSize > 0 && entry.formReason.empty()) {
        line = Left(stored, 40) + Right(storedSize, 10) +
               " bytes (plain: compressed it would take " + std::to_string(compressedSize) + ")";
    } else {
        line = Left(stored, 40) + Right(storedSize, 10) + " bytes (plain" + why + ")";
    }
    printf("  %s\n", line.c_str());
}

struct Options {
    BuildRequest request;
    std::string output;
    int64_t time = -1;  // every recorded time, when not negative
    bool quiet = false;
};

int ParseOptions(int argc, char** argv, Options* options) {
    BuildRequest& request = options->request;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc && argv[i + 1][0];
        auto value = [&](std::string* target) {
            if (!hasValue) return false;
            *target = argv[++i];
            return true;
        };
        if (arg == "--quiet") {
            options->quiet = true;
        } else if (arg == "--script") {
            if (!value(&request.scriptPath)) return UsageError("--script needs a file");
        } else if (arg == "--from") {
            std::string dir;
            if (!value(&dir)) return UsageError("--from needs a directory");
            request.fromDirs.push_back(dir);
        } else if (arg == "--stub") {
            if (!value(&request.stubPath)) return UsageError("--stub needs a file");
        } else if (arg == "-o") {
            if (!value(&options->output)) return UsageError("-o needs a file");
        } else if (arg == "--time") {
            if (!hasValue || !ParseSeconds(argv[i + 1], &options->time)) {
                return UsageError("--time needs whole seconds since 1970 (up to 2147483647)");
            }
            ++i;
        } else if (arg == "--plain" || arg == "--compress") {
            std::string name;
            if (!value(&name)) return UsageError(arg + " needs a file name");
            (arg == "--plain" ? request.forcePlain : request.forceCompressed).push_back(name);
        } else {
            return UsageError("unexpected argument '" + arg + "'");
        }
    }
    if (request.scriptPath.empty()) return UsageError("no --script given");
    if (request.fromDirs.empty()) return UsageError("no --from given");
    if (request.stubPath.empty()) return UsageError("no --stub given");
    if (options->output.empty()) return UsageError("no -o given");
    return 0;
}

}  // namespace

int RunBuild(int argc, char** argv) {
    Options options;
    if (int usage = ParseOptions(argc, argv, &options)) return usage;
    const BuildRequest& request = options.request;

    // No recorded time lies after SOURCE_DATE_EPOCH, or every one is the
    // --time given.
    int64_t cap;
    if (!ReadTimeCap("build", &cap)) return kUsage;

    // Without a script or a folder there is nothing to plan; the stub and
    // the output's directory are reported together with the plan.
    std::vector<std::string> early;
    host::FileStatus status;
    if (!host::QueryFile(request.scriptPath, &status) || status.isDirectory) {
        early.push_back(request.scriptPath + ": the setup script cannot be read");
    }
    for (const std::string& dir : request.fromDirs) {
        if (!host::QueryFile(dir, &status) || !status.isDirectory) {
            early.push_back(dir + ": not a directory");
        }
    }
    if (!early.empty()) {
        PrintLines(early, "");
        return kRefused;
    }
    CheckStub(request.stubPath, &early);
    std::string outputDir = host::DirName(options.output);
    if (!host::QueryFile(outputDir, &status) || !status.isDirectory) {
        early.push_back(options.output + ": the directory " + outputDir + " does not exist");
    }

    BuildPlan plan;
    PlanPackage(request, &plan);
    plan.problems.insert(plan.problems.begin(), early.begin(), early.end());
    // The package replaces its output only at the end, after reading every
    // input: an output that is an input would be lost without a word.
    std::vector<std::string> inputs = {request.stubPath, request.scriptPath};
    for (const PlannedEntry& entry : plan.entries) inputs.push_back(entry.path);
    for (const std::string& input : inputs) {
        if (host::SameFile(options.output, input)) {
            plan.problems.push_back(options.output + ": the output would replace " + input +
                                    ", which the package is built from");
            break;
        }
    }
    PrintLines(plan.warnings, "warning: ");
    if (!plan.problems.empty()) {
        PrintLines(plan.problems, "");
        return kRefused;
    }

    Compression work;
    work.entries = &plan.entries;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (plan.entries[i].form != StoredForm::kPlain) work.jobs.push_back(i);
    }
    CompressAll(&work);
    std::vector<int64_t> compressedSize(plan.entries.size(), 0);
    std::vector<const std::vector<uint8_t>*> compressed(plan.entries.size(), nullptr);
    for (size_t k = 0; k < work.jobs.size(); ++k) {
        if (!work.errors[k].empty()) {
            plan.problems.push_back(work.errors[k]);
            continue;
        }
        PlannedEntry& entry = plan.entries[work.jobs[k]];
        compressedSize[work.jobs[k]] = static_cast<int64_t>(work.data[k].size());
        compressed[work.jobs[k]] = &work.data[k];
        if (entry.form == StoredForm::kEither) {
            entry.form = compressedSize[work.jobs[k]] < entry.size ? StoredForm::kCompressed
                                                                   : StoredForm::kPlain;
        }
    }
    if (plan.problems.empty()) CheckStoredNames(request, &plan);
    if (!plan.problems.empty()) {
        PrintLines(plan.problems, "");
        return kRefused;
    }

    PartsDirectory parts(options.output);
    std::vector<std::string> paths(plan.entries.size());
    std::vector<ArchiveInput> archiveInputs;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const PlannedEntry& entry = plan.entries[i];
        paths[i] = entry.path;
        if (entry.form == StoredForm::kCompressed) {
            std::string error;
            if (!parts.Write(*compressed[i], &paths[i], &error)) {
                PrintLines({error}, "");
                return kRefused;
            }
        }
        ArchiveInput input;
        input.path = paths[i].c_str();
        input.name = StoredName(entry).c_str();
        input.time = options.time >= 0 ? options.time : std::min(entry.modified, cap);
        archiveInputs.push_back(input);
    }
    host::QueryFile(request.stubPath, &status);
    int64_t selfTime =
        options.time >= 0 ? options.time : std::min(std::max<int64_t>(status.modified, 0), cap);

    ByteString error;
    if (!WritePackage(request.stubPath.c_str(), archiveInputs.data(), archiveInputs.size(),
                      selfTime, options.output.c_str(), &error)) {
        PrintErrorLines("build", error.c_str());
        return kRefused;
    }
    if (options.quiet) return 0;

    int64_t original = 0, storedTotal = 0;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const PlannedEntry& entry = plan.entries[i];
        int64_t stored = entry.form == StoredForm::kCompressed ? compressedSize[i] : entry.size;
        PrintProgress(entry, stored, compressedSize[i]);
        original += entry.size;
        storedTotal += stored;
    }
    host::QueryFile(options.output, &status);
    host::FileStatus stub;
    host::QueryFile(request.stubPath, &stub);
    std::string summary = options.output + ": stub " + std::to_string(stub.size) + " bytes + " +
                          std::to_string(plan.entries.size()) + " files, " +
                          std::to_string(original) + " bytes stored in " +
                          std::to_string(storedTotal) + " (" + Percent(storedTotal, original) +
                          "); " + std::to_string(status.size) + " bytes in all";
    printf("%s\n", summary.c_str());
    return 0;
}
