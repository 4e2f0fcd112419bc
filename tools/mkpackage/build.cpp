// mkpackage build: an installer from a setup script and the folder of the
// product's files, in one step.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/archive_writer.h"
#include "package/szdd.h"
#include "tools/mkpackage/build_plan.h"
#include "tools/mkpackage/command_support.h"
#include "tools/mkpackage/commands.h"
#include "tools/mkpackage/host.h"
#include "tools/mkpackage/script_text.h"

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

// text with every occurrence of from replaced by to.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = 0; !from.empty() && (at = text.find(from, at)) != std::string::npos;
         at += to.size()) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// Says problems on stderr, naming a working file by what it stands for.
class Reporter {
public:
    void Alias(const std::string& workingPath, const std::string& shownAs) {
        aliases_.push_back(std::make_pair(workingPath, shownAs));
    }
    std::string Shown(std::string text) const {
        for (const auto& alias : aliases_) text = ReplaceAll(text, alias.first, alias.second);
        return text;
    }
    void Lines(const std::vector<std::string>& lines, const char* prefix = "") const {
        for (const std::string& line : lines) {
            fprintf(stderr, "mkpackage build: %s%s\n", prefix, Shown(line).c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::string>> aliases_;
};

// The stub must end where the installer will look for the archive; said
// before anything is compressed. The writer checks it again.
bool CheckStub(const std::string& path, std::vector<std::string>* problems) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        problems->push_back(path + ": the stub cannot be read: " + host::LastErrorText());
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
    std::vector<PlannedEntry>* entries;      // a job settles the form of its own entry
    std::vector<size_t> jobs;                // entry indices
    std::vector<std::vector<uint8_t>> data;  // per job
    std::vector<std::string> errors;         // per job, empty on success
    const SzddRunner* runner;
    std::vector<SzddEncoder> encoders;           // per thread, kept from file to file
    class TerminalProgress* progress = nullptr;  // null: none shown
    class FileLines* lines = nullptr;            // null: none printed
};

// On a terminal, one line rewritten as files are compressed: files and bytes
// done, the time taken and an estimate of the time left. Thread-safe.
class TerminalProgress {
public:
    TerminalProgress(size_t files, int64_t bytes)
        : files_(files), bytes_(bytes), start_(std::chrono::steady_clock::now()) {}
    ~TerminalProgress() {
        if (shown_) printf("\r%*s\r", static_cast<int>(width_), "");
        fflush(stdout);
    }
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    void Done(int64_t bytes) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++filesDone_;
        bytesDone_ += bytes;
        double elapsed = Seconds();
        if (elapsed - lastShown_ < 0.1 && filesDone_ < files_) return;
        lastShown_ = elapsed;
        char line[160];
        double left = bytesDone_ > 0 ? elapsed * static_cast<double>(bytes_ - bytesDone_) /
                                           static_cast<double>(bytesDone_)
                                     : 0.0;
        int length = snprintf(line, sizeof line,
                              "  compressing: %zu/%zu files, %lld/%lld bytes, %.1f s, about "
                              "%.0f s left",
                              filesDone_, files_, static_cast<long long>(bytesDone_),
                              static_cast<long long>(bytes_), elapsed, left);
        if (length < 0) return;
        size_t written = static_cast<size_t>(length);
        printf("\r%s%*s", line, static_cast<int>(width_ > written ? width_ - written : 0), "");
        fflush(stdout);
        if (written > width_) width_ = written;
        shown_ = true;
    }

private:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

    std::mutex mutex_;
    size_t files_;
    int64_t bytes_;
    size_t filesDone_ = 0;
    int64_t bytesDone_ = 0;
    std::chrono::steady_clock::time_point start_;
    double lastShown_ = -1.0;
    size_t width_ = 0;
    bool shown_ = false;
};

std::string Percent(int64_t part, int64_t whole) {
    char text[32];
    snprintf(text, sizeof text, "%.1f%%",
             whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

// text padded with spaces to width columns of a terminal, on the left or
// right; Japanese names take two columns a character.
std::string Left(const std::string& text, size_t width) {
    size_t columns = host::DisplayWidth(text);
    return columns < width ? text + std::string(width - columns, ' ') : text;
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

// The line of each file, in package order, as soon as it and every file
// before it are settled, each flushed on its own: a log shows the build
// going on while a later file is still being compressed. Thread-safe.
class FileLines {
public:
    // entries must outlive the instance. Held lines wait for Release (while
    // a progress line is shown on the terminal).
    FileLines(const std::vector<PlannedEntry>& entries, bool held)
        : entries_(entries),
          compressedSize_(entries.size(), 0),
          settled_(entries.size(), false),
          held_(held) {}
    FileLines(const FileLines&) = delete;
    FileLines& operator=(const FileLines&) = delete;

    // Entry i has its final form; compressedSize is the size of its
    // compressed form, 0 when it was not compressed. An entry never settled
    // (its compression failed) stops the lines there.
    void Settled(size_t i, int64_t compressedSize) {
        std::lock_guard<std::mutex> lock(mutex_);
        compressedSize_[i] = compressedSize;
        settled_[i] = true;
        if (!held_) PrintReady();
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ = false;
        PrintReady();
    }

private:
    void PrintReady() {
        for (; next_ < entries_.size() && settled_[next_]; ++next_) {
            const PlannedEntry& entry = entries_[next_];
            int64_t compressed = compressedSize_[next_];
            PrintProgress(entry, entry.form == StoredForm::kCompressed ? compressed : entry.size,
                          compressed);
            fflush(stdout);
        }
    }

    std::mutex mutex_;
    const std::vector<PlannedEntry>& entries_;
    std::vector<int64_t> compressedSize_;
    std::vector<bool> settled_;
    size_t next_ = 0;  // the first entry whose line is not printed
    bool held_;
};

bool AppendBytes(void* context, const uint8_t* bytes, size_t size) {
    static_cast<std::vector<uint8_t>*>(context)->insert(
        static_cast<std::vector<uint8_t>*>(context)->end(), bytes, bytes + size);
    return true;
}

void CompressJob(void* argument, size_t thread, size_t k) {
    Compression& work = *static_cast<Compression*>(argument);
    PlannedEntry& entry = (*work.entries)[work.jobs[k]];
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
    SzddStatus status = work.encoders[thread].Compress(input.data(), input.size(), replaced,
                                                       AppendBytes, &work.data[k], work.runner);
    if (status != SzddStatus::kOk) {
        work.errors[k] = entry.path + ": " + SzddStatusText(status);
    } else {
        int64_t compressedSize = static_cast<int64_t>(work.data[k].size());
        if (entry.form == StoredForm::kEither) {
            entry.form = compressedSize < entry.size ? StoredForm::kCompressed : StoredForm::kPlain;
        }
        if (work.lines) work.lines->Settled(work.jobs[k], compressedSize);
    }
    if (work.progress) work.progress->Done(entry.size);
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
    work->encoders = std::vector<SzddEncoder>(host::ParallelThreads(work->jobs.size()));
    host::ParallelFor(work->jobs.size(), CompressJob, work);
}

// Removes the files written for the writer (compressed forms, a converted
// script), whatever happens. Problems name the package, never the
// directory's own name, which means nothing to the user.
class PartsDirectory {
public:
    explicit PartsDirectory(const std::string& output)
        : output_(output), path_(output + ".parts-" + std::to_string(host::ProcessId())) {}
    ~PartsDirectory() {
        for (const std::string& file : files_) host::RemoveFile(file);
        if (made_) host::RemoveEmptyDirectory(path_);
    }
    PartsDirectory(const PartsDirectory&) = delete;
    PartsDirectory& operator=(const PartsDirectory&) = delete;

    // The path of the k-th file that Write writes.
    std::string FileName(size_t k) const {
        return host::JoinPath(path_, std::to_string(k) + ".part");
    }
    const std::string& Path() const { return path_; }

    bool Write(const std::vector<uint8_t>& bytes, std::string* path, std::string* error) {
        if (!made_) {
            made_ = host::MakeDirectory(path_);
            if (!made_) {
                *error = output_ + ": a working directory beside it cannot be created: " +
                         host::LastErrorText();
                return false;
            }
        }
        *path = FileName(files_.size());
        FILE* file = fopen(path->c_str(), "wb");
        if (!file) {
            *error =
                output_ + ": a working file beside it cannot be created: " + host::LastErrorText();
            return false;
        }
        files_.push_back(*path);
        bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (fclose(file) != 0) ok = false;
        if (!ok)
            *error =
                output_ + ": a working file beside it cannot be written: " + host::LastErrorText();
        return ok;
    }

private:
    std::string output_;
    std::string path_;
    bool made_ = false;
    std::vector<std::string> files_;
};

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
    const auto started = std::chrono::steady_clock::now();
    Options options;
    if (int usage = ParseOptions(argc, argv, &options)) return usage;
    BuildRequest& request = options.request;
    const std::string scriptSource = request.scriptPath;
    Reporter report;

    // No recorded time lies after SOURCE_DATE_EPOCH, or every one is the
    // --time given.
    int64_t cap;
    if (!ReadTimeCap("build", &cap)) return kUsage;

    // Without a script or a folder there is nothing to plan; the stub and
    // the output's directory are reported together with the plan.
    std::vector<std::string> early;
    host::FileStatus status;
    std::vector<uint8_t> scriptBytes;
    std::string error;
    if (!host::QueryFile(scriptSource, &status)) {
        early.push_back(scriptSource +
                        ": the setup script cannot be read: " + host::LastErrorText());
    } else if (status.isDirectory) {
        early.push_back(scriptSource + ": the setup script is a directory");
    } else if (!host::ReadWholeFile(scriptSource, &scriptBytes, &error)) {
        early.push_back(scriptSource + ": the setup script cannot be read: " + error);
    }
    for (const std::string& dir : request.fromDirs) {
        if (!host::QueryFile(dir, &status) || !status.isDirectory) {
            early.push_back(dir + ": not a directory");
        }
    }
    std::vector<uint8_t> packedScript;
    std::string problem;
    ScriptEncoding encoding = ScriptEncoding::kAsIs;
    if (early.empty()) encoding = PrepareScript(scriptBytes, &packedScript, &problem);
    if (encoding == ScriptEncoding::kRefused) early.push_back(scriptSource + ": " + problem);
    if (!early.empty()) {
        report.Lines(early);
        return kRefused;
    }
    CheckStub(request.stubPath, &early);
    std::string outputDir = host::DirName(options.output);
    if (!host::QueryFile(outputDir, &status) || !status.isDirectory) {
        early.push_back(options.output + ": the directory " + outputDir + " does not exist");
    } else if (host::QueryFile(options.output, &status) && status.isDirectory) {
        early.push_back(options.output +
                        ": is a directory; the package is written only as a file, never in "
                        "a directory's place");
    }

    // Working files beside the output: a converted script, then the
    // compressed forms. A build stopped by a signal leaves none of them.
    PartsDirectory parts(options.output);
    std::vector<std::string> leftovers = {parts.FileName(0), parts.Path(),
                                          options.output + ".partial"};
    host::RemoveOnSignal cleanup(&leftovers);
    if (encoding == ScriptEncoding::kConverted && early.empty()) {
        // The package carries the converted script with the original's time.
        std::string converted;
        if (!parts.Write(packedScript, &converted, &error)) {
            report.Lines({error});
            return kRefused;
        }
        host::QueryFile(scriptSource, &status);
        host::SetFileTimes(converted, status.modified);
        report.Alias(converted, scriptSource);
        request.scriptPath = converted;
    }

    BuildPlan plan;
    PlanPackage(request, &plan);
    plan.problems.insert(plan.problems.begin(), early.begin(), early.end());
    // The package replaces its output only at the end, after reading every
    // input: an output that is an input would be lost without a word.
    std::vector<std::string> inputs = {request.stubPath, scriptSource};
    for (const PlannedEntry& entry : plan.entries) inputs.push_back(entry.path);
    for (const std::string& input : inputs) {
        if (host::SameFile(options.output, input)) {
            plan.problems.push_back(options.output + ": the output would replace " +
                                    report.Shown(input) + ", which the package is built from");
            break;
        }
    }
    report.Lines(plan.warnings, "warning: ");
    if (!plan.problems.empty()) {
        report.Lines(plan.problems);
        return kRefused;
    }
    if (encoding == ScriptEncoding::kConverted && !options.quiet) {
        printf("%s: converted from UTF-8 to code page 932 for the installer\n",
               scriptSource.c_str());
    }

    // Shown only where a person watches; logs get the line of each file as
    // soon as it is done, in package order.
    bool terminal = !options.quiet && host::IsTerminal(stdout);
    std::unique_ptr<FileLines> lines;
    if (!options.quiet) lines.reset(new FileLines(plan.entries, terminal));
    Compression work;
    work.entries = &plan.entries;
    work.lines = lines.get();
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (plan.entries[i].form != StoredForm::kPlain) {
            work.jobs.push_back(i);
        } else if (lines) {
            lines->Settled(i, 0);
        }
    }
    {
        std::unique_ptr<TerminalProgress> progress;
        if (terminal) {
            int64_t bytes = 0;
            for (size_t job : work.jobs) bytes += plan.entries[job].size;
            progress.reset(new TerminalProgress(work.jobs.size(), bytes));
            work.progress = progress.get();
        }
        CompressAll(&work);
        work.progress = nullptr;
    }
    if (lines) lines->Release();
    std::vector<int64_t> compressedSize(plan.entries.size(), 0);
    std::vector<const std::vector<uint8_t>*> compressed(plan.entries.size(), nullptr);
    for (size_t k = 0; k < work.jobs.size(); ++k) {
        if (!work.errors[k].empty()) {
            plan.problems.push_back(work.errors[k]);
            continue;
        }
        compressedSize[work.jobs[k]] = static_cast<int64_t>(work.data[k].size());
        compressed[work.jobs[k]] = &work.data[k];
    }
    if (plan.problems.empty()) CheckStoredNames(request, &plan);
    if (!plan.problems.empty()) {
        report.Lines(plan.problems);
        return kRefused;
    }

    // Every working file that can be written from here on.
    std::vector<std::string> allLeftovers;
    for (size_t k = 0; k <= plan.entries.size(); ++k) allLeftovers.push_back(parts.FileName(k));
    allLeftovers.push_back(parts.Path());
    allLeftovers.push_back(options.output + ".partial");
    cleanup.Watch(&allLeftovers);
    std::vector<std::string> paths(plan.entries.size());
    std::vector<ArchiveInput> archiveInputs;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const PlannedEntry& entry = plan.entries[i];
        paths[i] = entry.path;
        if (entry.form == StoredForm::kCompressed) {
            if (!parts.Write(*compressed[i], &paths[i], &error)) {
                report.Lines({error});
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

    for (size_t i = 0; i < plan.entries.size(); ++i) {
        if (paths[i] != plan.entries[i].path) {
            report.Alias(paths[i], report.Shown(plan.entries[i].path) + " (compressed)");
        }
    }
    ByteString writeError;
    if (!WritePackage(request.stubPath.c_str(), archiveInputs.data(), archiveInputs.size(),
                      selfTime, options.output.c_str(), &writeError)) {
        PrintErrorLines("build", report.Shown(writeError.c_str()).c_str());
        return kRefused;
    }
    if (options.quiet) return 0;

    int64_t original = 0, storedTotal = 0;
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const PlannedEntry& entry = plan.entries[i];
        int64_t stored = entry.form == StoredForm::kCompressed ? compressedSize[i] : entry.size;
        original += entry.size;
        storedTotal += stored;
    }
    host::QueryFile(options.output, &status);
    host::FileStatus stub;
    host::QueryFile(request.stubPath, &stub);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char timing[96];
    snprintf(timing, sizeof timing, "; %.2f s, %.1f MB/s", seconds,
             seconds > 0 ? static_cast<double>(original) / 1e6 / seconds : 0.0);
    std::string summary = options.output + ": stub " + std::to_string(stub.size) + " bytes + " +
                          std::to_string(plan.entries.size()) + " files, " +
                          std::to_string(original) + " bytes stored in " +
                          std::to_string(storedTotal) + " (" + Percent(storedTotal, original) +
                          "); " + std::to_string(status.size) + " bytes in all" + timing;
    printf("%s\n", summary.c_str());
    return 0;
}
