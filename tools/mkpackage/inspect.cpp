// mkpackage list / extract: the entries of a package, read by the same code
// and with the same detail codes as the installer's own extraction.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/szdd.h"
#include "tools/mkpackage/build_plan.h"
#include "tools/mkpackage/commands.h"
#include "tools/mkpackage/host.h"
#include "tools/mkpackage/script_text.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr const char kListUsage[] = "usage: mkpackage list PACKAGE [--json]\n";
constexpr const char kVerifyUsage[] = "usage: mkpackage verify PACKAGE [--from DIR]...\n";
constexpr const char kExtractUsage[] =
    "usage: mkpackage extract PACKAGE DIR [--expand] [--force]\n";

// What the detail codes mean, in the words of a packager.
const char* DetailText(int code) {
    switch (code) {
        case kArchiveOpenFailed:
            return "the file cannot be opened for reading";
        case kArchiveSizeFailed:
            return "the size of the file cannot be read";
        case kArchiveSeekDosHeader:
            return "seeking to the DOS header failed";
        case kArchiveReadDosHeader:
            return "the 64-byte DOS header cannot be read";
        case kArchiveNotMz:
            return "the file does not begin with \"MZ\"";
        case kArchiveSeekPeHeader:
            return "seeking to the PE header failed";
        case kArchiveReadPeHeader:
            return "the 248 bytes of PE signature and headers cannot be read";
        case kArchiveNotPe:
            return "the PE signature is wrong";
        case kArchiveSeekSectionHeader:
            return "seeking to the last section header failed";
        case kArchiveReadSectionHeader:
            return "the last section header cannot be read";
        case kArchiveSeekSectionEnd:
            return "seeking to the end of the last section's data failed";
        case kArchiveShortAfterImage:
            return "fewer than 16 bytes follow the last section's data (a stub without archive?)";
        case kArchiveSeekStart:
            return "seeking to the archive start failed";
        case kArchiveSeekImage:
            return "seeking to the start of the file failed";
        case kArchiveReadImage:
            return "the image cannot be read, or the self entry's size is not the archive start";
        case kArchiveWriteSelf:
            return "the self entry cannot be written";
        case kArchiveStampSelf:
            return "the self entry's time cannot be set (it is negative)";
        case kArchiveBadMagic:
            return "the archive does not begin with INSTARC0001 and the image not with \"MZ\"";
        case kArchiveBadCount:
            return "the count line is unreadable or 0";
        case kArchiveBadSelfSize:
            return "the self entry's size line is unreadable";
        case kArchiveBadSelfTime:
            return "the self entry's time line is unreadable";
        case kArchiveBadSelfName:
            return "the self entry's name line is unreadable";
        case kArchiveCreateEntry:
            return "a data entry cannot be created (its name is no bare file name)";
        case kArchiveReadEntry:
            return "a data entry's bytes cannot be read (the archive is cut short, or the size is "
                   "0 or negative)";
        case kArchiveBadEntrySize:
            return "a data entry's size line is unreadable";
        case kArchiveBadEntryTime:
            return "a data entry's time line is unreadable";
        case kArchiveBadEntryName:
            return "a data entry's name line is unreadable";
        case kArchiveWriteEntry:
            return "a data entry cannot be written";
        case kArchiveStampEntry:
            return "a data entry's time cannot be set (it is negative)";
        default:
            return "unknown detail code";
    }
}

struct Entry {
    std::string name;  // code page 932
    std::vector<uint8_t> data;
    int32_t time = 0;
};

// Takes the entries into memory. It refuses exactly what the installer's
// extraction fails on: a file time that cannot be set is a negative one.
class Collector : public ExtractSink {
public:
    void Prepare() override {}
    bool Create(const char* name) override {
        entries.push_back(Entry());
        entries.back().name = name;
        return true;
    }
    bool Write(const void* data, size_t size) override {
        const uint8_t* bytes = static_cast<const uint8_t*>(data);
        entries.back().data.assign(bytes, bytes + size);
        return true;
    }
    bool Stamp(int32_t time) override {
        entries.back().time = time;
        return time >= 0;
    }
    bool Finish() override { return true; }
    void Discard() override { entries.pop_back(); }

    std::vector<Entry> entries;  // the self entry first
};

struct Package {
    int64_t start = 0;
    std::vector<Entry> entries;
};

// Reads and checks a whole package. On failure says why on stderr.
bool ReadPackage(const char* command, const std::string& path, Package* package) {
    FILE* file = fopen(path.c_str(), "rb");
    std::string openError = file ? std::string() : host::LastErrorText();
    Collector collector;
    ArchiveOutcome outcome = ArchiveOutcome::kFailed;
    int code = kArchiveOpenFailed;
    if (file) {
        StdioSource source(file);
        code = ExtractArchive(source, collector, &outcome);
        if (code == kArchiveOk) {
            ArchiveStream stream(source);
            ArchiveLocation where;
            LocateArchive(stream, &where);
            package->start = where.start;
        }
        fclose(file);
    }
    if (code != kArchiveOk) {
        std::string after;
        if (!collector.entries.empty()) {
            after = " (after the self entry and " + std::to_string(collector.entries.size() - 1) +
                    " data entries)";
        }
        // A file that cannot be opened is said with the system's reason.
        std::string why = code == kArchiveOpenFailed ? ": " + openError : std::string();
        fprintf(stderr, "mkpackage %s: %s: detail code %d: %s%s%s\n", command, path.c_str(), code,
                DetailText(code), why.c_str(), after.c_str());
        return false;
    }
    if (outcome == ArchiveOutcome::kNothingAppended) {
        fprintf(stderr,
                "mkpackage %s: %s: no archive: the file ends with its image; the "
                "installer would extract nothing\n",
                command, path.c_str());
        return false;
    }
    if (outcome == ArchiveOutcome::kNotAnArchive) {
        fprintf(stderr,
                "mkpackage %s: %s: no archive: the data after the image does not begin "
                "with INSTARC0001; the installer would ignore it\n",
                command, path.c_str());
        return false;
    }
    package->entries.swap(collector.entries);
    return true;
}

// Seconds since 1970 as "YYYY-MM-DD hh:mm:ss" (UTC), without the runtime's
// time functions, whose range differs between systems.
std::string UtcText(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from a day count (proleptic Gregorian calendar).
    days += 719468;
    int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    int64_t dayOfEra = days - era * 146097;
    int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    int64_t monthIndex = (5 * dayOfYear + 2) / 153;
    int64_t day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
    int64_t month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
    int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    char text[48];
    snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", static_cast<int>(year),
             static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
             static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

bool CountBytes(void* context, const uint8_t*, size_t size) {
    *static_cast<size_t*>(context) += size;
    return true;
}

bool AppendBytes(void* context, const uint8_t* bytes, size_t size) {
    std::vector<uint8_t>* out = static_cast<std::vector<uint8_t>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

bool IsCompressed(const Entry& entry) {
    return BeginsWithSzddMagic(entry.data.data(), entry.data.size());
}

// A JSON string of UTF-8 text.
std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += static_cast<char>(c);
        }
    }
    return quoted + "\"";
}

// "YYYY-MM-DDThh:mm:ssZ".
std::string IsoText(int64_t seconds) {
    std::string text = UtcText(seconds);
    text[10] = 'T';
    return text + "Z";
}

std::string Padded(const std::string& text, size_t width) {
    return text.size() < width ? std::string(width - text.size(), ' ') + text : text;
}

}  // namespace

int RunList(int argc, char** argv) {
    std::vector<std::string> operands;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "mkpackage list: unknown option %s\n%s", arg.c_str(), kListUsage);
            return kUsage;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1) {
        fprintf(stderr, "mkpackage list: one PACKAGE is needed\n%s", kListUsage);
        return kUsage;
    }
    const std::string& path = operands[0];
    Package package;
    if (!ReadPackage("list", path, &package)) return kRefused;

    struct Row {
        const Entry* entry;
        bool compressed = false;
        bool damaged = false;
        int64_t expanded = 0;  // bytes the installer writes from it
    };
    std::vector<Row> rows;
    int64_t storedTotal = 0, expandedTotal = 0;
    bool damaged = false;
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const Entry& entry = package.entries[i];
        Row row;
        row.entry = &entry;
        row.expanded = static_cast<int64_t>(entry.data.size());
        if (i > 0 && IsCompressed(entry)) {
            // Expanded here in full: a damaged compressed entry is worth
            // knowing before the installer expands it.
            row.compressed = true;
            size_t count = 0;
            SzddHeader header;
            SzddStatus status =
                SzddExpand(entry.data.data(), entry.data.size(), CountBytes, &count, &header);
            if (status == SzddStatus::kOk) {
                row.expanded = static_cast<int64_t>(count);
            } else {
                row.damaged = damaged = true;
                row.expanded = 0;
                fprintf(stderr, "mkpackage list: %s: %s: %s\n", path.c_str(),
                        host::Printable932(entry.name).c_str(), SzddStatusText(status));
            }
        }
        storedTotal += static_cast<int64_t>(entry.data.size());
        expandedTotal += row.expanded;
        rows.push_back(row);
    }

    if (json) {
        printf("{\"package\": %s, \"archiveStart\": %lld, \"entries\": [\n",
               JsonString(path).c_str(), static_cast<long long>(package.start));
        for (size_t i = 0; i < rows.size(); ++i) {
            const Row& row = rows[i];
            printf(
                "  {\"name\": %s, \"self\": %s, \"stored\": %lld, \"expanded\": %s, "
                "\"time\": \"%s\", \"compressed\": %s, \"damaged\": %s}%s\n",
                JsonString(host::Utf8Of932(row.entry->name)).c_str(), i == 0 ? "true" : "false",
                static_cast<long long>(row.entry->data.size()),
                row.damaged ? "null" : std::to_string(row.expanded).c_str(),
                IsoText(row.entry->time).c_str(), row.compressed ? "true" : "false",
                row.damaged ? "true" : "false", i + 1 < rows.size() ? "," : "");
        }
        printf("], \"stored\": %lld, \"expanded\": %lld}\n", static_cast<long long>(storedTotal),
               static_cast<long long>(expandedTotal));
        return damaged ? kRefused : 0;
    }

    printf("archive start: %lld\n", static_cast<long long>(package.start));
    printf("entries: the self entry and %s data entries\n",
           std::to_string(package.entries.size() - 1).c_str());
    printf("%s %s  %-19s  %s\n", Padded("stored", 10).c_str(), Padded("expanded", 10).c_str(),
           "time (UTC)", "name");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        std::string expanded = row.damaged      ? "damaged"
                               : row.compressed ? std::to_string(row.expanded)
                                                : "-";
        std::string name = host::Printable932(row.entry->name);
        if (i == 0) name += " (self entry: the installer stub)";
        printf("%s %s  %s  %s\n", Padded(std::to_string(row.entry->data.size()), 10).c_str(),
               Padded(expanded, 10).c_str(), UtcText(row.entry->time).c_str(), name.c_str());
    }
    printf("%s %s  %-19s  total: %s entries%s\n", Padded(std::to_string(storedTotal), 10).c_str(),
           Padded(std::to_string(expandedTotal), 10).c_str(), "",
           std::to_string(rows.size()).c_str(), damaged ? " (damaged ones count 0 expanded)" : "");
    return damaged ? kRefused : 0;
}

int RunExtract(int argc, char** argv) {
    std::vector<std::string> operands;
    bool expand = false;
    bool force = false;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--expand") {
            expand = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "mkpackage extract: unknown option '%s'\n%s", arg.c_str(),
                    kExtractUsage);
            return kUsage;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 2) {
        fprintf(stderr, "mkpackage extract: %s\n%s",
                operands.size() < 2 ? "a PACKAGE and a DIR are needed" : "too many operands",
                kExtractUsage);
        return kUsage;
    }
    const std::string& path = operands[0];
    const std::string& dir = operands[1];
    Package package;
    if (!ReadPackage("extract", path, &package)) return kRefused;

    // Everything is settled before the first file is written: names, the
    // expansions, clashes between them and what is in the way.
    struct Output {
        std::string name;  // code page 932
        std::string native;
        std::string target;
        std::vector<uint8_t> expanded;
        bool isExpanded = false;
        bool replaces = false;
        int32_t time = 0;
        const Entry* entry = nullptr;
    };
    std::vector<Output> outputs;
    std::map<std::string, std::string> taken;  // lower-case name -> entry that takes it
    bool ok = true;
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const Entry& entry = package.entries[i];
        Output output;
        output.entry = &entry;
        output.name = entry.name;
        output.time = entry.time;
        std::string shown = host::Printable932(entry.name);
        if (expand && i > 0 && IsCompressed(entry)) {
            SzddHeader header;
            SzddStatus status = SzddExpand(entry.data.data(), entry.data.size(), AppendBytes,
                                           &output.expanded, &header);
            if (status != SzddStatus::kOk) {
                fprintf(stderr, "mkpackage extract: %s: %s\n", shown.c_str(),
                        SzddStatusText(status));
                ok = false;
                continue;
            }
            output.isExpanded = true;
            // A header character that cannot end a name costs only the
            // name's last character; a name without "_" is kept.
            ByteString restored;
            if (RestoreUnderscoreName(entry.name.c_str(), header.replacedChar, &restored) ||
                RestoreUnderscoreName(entry.name.c_str(), 0, &restored)) {
                output.name = restored.c_str();
            }
            // The header's character is data like any other: the name it
            // makes obeys the rule of every stored name.
            if (!IsBareEntryName(output.name.c_str(), output.name.size())) {
                fprintf(stderr,
                        "mkpackage extract: %s: the compressed form's header restores the name "
                        "%s, which is no bare file name (a device name such as CON or COM1, or "
                        "a character that names a folder or a drive)\n",
                        shown.c_str(), host::Printable932(output.name).c_str());
                ok = false;
                continue;
            }
        }
        if (!host::FromCodePage932(output.name, &output.native)) {
            fprintf(stderr,
                    "mkpackage extract: %s: the name cannot be written as a file name "
                    "here\n",
                    host::Printable932(output.name).c_str());
            ok = false;
            continue;
        }
        std::string lower = MbToLower(output.name.c_str()).c_str();
        auto claimed = taken.insert(std::make_pair(lower, shown));
        if (!claimed.second) {
            fprintf(stderr, "mkpackage extract: %s and %s would both be written as %s\n",
                    claimed.first->second.c_str(), shown.c_str(), output.native.c_str());
            ok = false;
            continue;
        }
        output.target = host::JoinPath(dir, output.native);
        host::Presence presence = host::Lookup(output.target);
        if (presence == host::Presence::kDirectory) {
            fprintf(stderr, "mkpackage extract: %s: a directory is in the way\n",
                    output.target.c_str());
            ok = false;
            continue;
        }
        if (presence == host::Presence::kOther) {
            if (!force) {
                fprintf(stderr,
                        "mkpackage extract: %s: exists already (--force replaces it; a "
                        "symbolic link is replaced itself, never written through)\n",
                        output.target.c_str());
                ok = false;
                continue;
            }
            output.replaces = true;
        }
        outputs.push_back(std::move(output));
    }
    if (!ok) {
        fprintf(stderr, "mkpackage extract: nothing was written\n");
        return kRefused;
    }

    if (!host::MakeDirectories(dir)) {
        fprintf(stderr, "mkpackage extract: %s: the directory cannot be created: %s\n", dir.c_str(),
                host::LastErrorText().c_str());
        return kRefused;
    }
    std::vector<std::string> written;
    for (const Output& output : outputs) {
        const std::vector<uint8_t>& bytes =
            output.isExpanded ? output.expanded : output.entry->data;
        // A link in the way is removed itself; the file is then created new,
        // which fails rather than follow a link that appeared meanwhile.
        std::string error;
        bool done = true;
        if (output.replaces && !host::RemoveFile(output.target)) {
            error = "cannot be replaced: " + host::LastErrorText();
            done = false;
        }
        if (done) done = host::WriteNewFile(output.target, bytes, &error);
        if (done && !host::SetFileTimes(output.target, output.time)) {
            error = "its time cannot be set: " + host::LastErrorText();
            written.push_back(output.native);
            done = false;
        }
        if (!done) {
            fprintf(stderr, "mkpackage extract: %s: %s\n", output.target.c_str(), error.c_str());
            std::string left;
            for (const std::string& name : written) left += " " + name;
            fprintf(stderr, "mkpackage extract: %s of %s files left in %s%s%s\n",
                    std::to_string(written.size()).c_str(), std::to_string(outputs.size()).c_str(),
                    dir.c_str(), written.empty() ? "" : ":", left.c_str());
            return kRefused;
        }
        written.push_back(output.native);
    }
    printf("%s: %s files written into %s\n", path.c_str(), std::to_string(outputs.size()).c_str(),
           dir.c_str());
    return 0;
}

namespace {

// The bytes of the first file named native in dirs; false when none has it.
bool ReadSource(const std::vector<std::string>& dirs, const std::string& native,
                std::vector<uint8_t>* bytes, std::string* path, std::string* error) {
    for (const std::string& dir : dirs) {
        std::string candidate = host::JoinPath(dir, native);
        host::FileStatus status;
        if (!host::QueryFile(candidate, &status) || status.isDirectory) continue;
        *path = candidate;
        return host::ReadWholeFile(candidate, bytes, error);
    }
    return false;
}

// What a source holds as the package would carry it: a UTF-8 setup script
// is packed converted.
bool SameAsPacked(const std::string& name932, const std::vector<uint8_t>& source,
                  const std::vector<uint8_t>& packed) {
    if (source == packed) return true;
    if (MbToLower(name932.c_str()) != "install.inf") return false;
    std::vector<uint8_t> converted;
    std::string problem;
    return PrepareScript(source, &converted, &problem) == ScriptEncoding::kConverted &&
           converted == packed;
}

// Offset of the first difference, for the message.
size_t FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    return at;
}

}  // namespace

int RunVerify(int argc, char** argv) {
    std::vector<std::string> operands, fromDirs;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--from") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                fprintf(stderr, "mkpackage verify: --from needs a directory\n%s", kVerifyUsage);
                return kUsage;
            }
            fromDirs.push_back(argv[++i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            fprintf(stderr, "mkpackage verify: unknown option '%s'\n%s", arg.c_str(), kVerifyUsage);
            return kUsage;
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 1) {
        fprintf(stderr, "mkpackage verify: one PACKAGE is needed\n%s", kVerifyUsage);
        return kUsage;
    }
    for (const std::string& dir : fromDirs) {
        host::FileStatus status;
        if (!host::QueryFile(dir, &status) || !status.isDirectory) {
            fprintf(stderr, "mkpackage verify: %s: not a directory\n%s", dir.c_str(), kVerifyUsage);
            return kUsage;
        }
    }
    const std::string& path = operands[0];
    Package package;
    if (!ReadPackage("verify", path, &package)) return kRefused;

    int problems = 0;
    size_t compared = 0;
    auto problem = [&](const std::string& text) {
        fprintf(stderr, "mkpackage verify: %s: %s\n", path.c_str(), text.c_str());
        ++problems;
    };
    for (size_t i = 0; i < package.entries.size(); ++i) {
        const Entry& entry = package.entries[i];
        std::string shown = host::Printable932(entry.name);
        // The archive has no checksum: a compressed entry is checked by
        // expanding it to exactly the length its header records.
        std::vector<uint8_t> expanded;
        std::string original = entry.name;
        bool compressed = i > 0 && IsCompressed(entry);
        if (compressed) {
            SzddHeader header;
            SzddStatus status =
                SzddExpand(entry.data.data(), entry.data.size(), AppendBytes, &expanded, &header);
            if (status != SzddStatus::kOk) {
                problem(shown + ": " + SzddStatusText(status));
                continue;
            }
            ByteString restored;
            if (RestoreUnderscoreName(entry.name.c_str(), header.replacedChar, &restored) ||
                RestoreUnderscoreName(entry.name.c_str(), 0, &restored)) {
                original = restored.c_str();
            }
        }
        if (fromDirs.empty()) continue;

        // A stored name found among the sources is compared byte for byte
        // (files packed as they are, compressed or not); otherwise a
        // compressed entry is compared, expanded, with its original.
        std::vector<uint8_t> source;
        std::string sourcePath, error, native;
        bool found = host::FromCodePage932(entry.name, &native) &&
                     ReadSource(fromDirs, native, &source, &sourcePath, &error);
        const std::vector<uint8_t>* packed = &entry.data;
        if (!found && error.empty() && compressed && host::FromCodePage932(original, &native)) {
            found = ReadSource(fromDirs, native, &source, &sourcePath, &error);
            packed = &expanded;
        }
        if (!error.empty()) {
            problem(sourcePath + ": " + error);
            continue;
        }
        if (!found) {
            // The stub is often not among the product's files.
            if (i > 0) problem(shown + ": no source file of that name in the --from directories");
            continue;
        }
        ++compared;
        // A signed package's self entry is read without the signature's
        // record, so it equals its stub as linked.
        if (!SameAsPacked(entry.name, source, *packed)) {
            size_t at = FirstDifference(source, *packed);
            problem(shown + ": differs from " + sourcePath + " (" +
                    (source.size() != packed->size()
                         ? std::to_string(packed->size()) + " bytes against " +
                               std::to_string(source.size())
                         : "first at byte " + std::to_string(at)) +
                    ")");
        }
    }
    if (problems > 0) return kRefused;
    printf("%s: %s entries sound", path.c_str(), std::to_string(package.entries.size()).c_str());
    if (!fromDirs.empty()) {
        printf(", %s equal to their source files", std::to_string(compared).c_str());
    }
    printf("\n");
    return 0;
}
