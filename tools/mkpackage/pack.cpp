// mkpackage pack: an installer stub followed by the archive of the given files.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/archive.h"
#include "package/archive_writer.h"
#include "tools/mkpackage/command_support.h"
#include "tools/mkpackage/commands.h"
#include "tools/mkpackage/host.h"

namespace {

constexpr int kRefused = 1;
constexpr int kUsage = 2;

int UsageError(const char* message) {
    fprintf(stderr, "mkpackage pack: %s\n", message);
    fputs("usage: mkpackage pack --stub STUB -o OUT [--time SECONDS] FILE...\n", stderr);
    return kUsage;
}

// Modification time in seconds, or -1 when the file cannot be queried (the
// writer then reports the file itself).
int64_t ModificationTime(const char* path) {
    host::FileStatus status;
    if (!host::QueryFile(path, &status)) return -1;
    return status.modified;
}

// The archive carries code page 932 names; the names here are native text.
bool ToCodePage932(const std::string& native, std::string* cp932) {
    return host::ToCodePage932(native, cp932);
}

std::string BaseName(const std::string& path) { return host::BaseName(path); }

}  // namespace

int RunPack(int argc, char** argv) {
    const char* stub = nullptr;
    const char* output = nullptr;
    int64_t selfTime = -1;
    std::vector<std::string> files;
    bool options = true;
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--stub") {
            if (!hasValue) return UsageError("--stub needs a file");
            stub = argv[++i];
        } else if (options && arg == "-o") {
            if (!hasValue) return UsageError("-o needs a file");
            output = argv[++i];
        } else if (options && arg == "--time") {
            if (!hasValue || !ParseSeconds(argv[i + 1], &selfTime)) {
                return UsageError("--time needs whole seconds since 1970 (up to 2147483647)");
            }
            ++i;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return UsageError(("unknown option " + arg).c_str());
        } else {
            files.push_back(arg);
        }
    }
    if (!stub) return UsageError("no --stub given");
    if (!output) return UsageError("no -o given");
    if (files.empty()) return UsageError("no files given");

    int64_t cap;
    if (!ReadTimeCap("pack", &cap)) return kUsage;
    // A stub that cannot be queried is reported by the writer, not as a time.
    if (selfTime < 0) selfTime = std::min(std::max<int64_t>(ModificationTime(stub), 0), cap);

    // Names that cannot be converted are reported here and left out of the
    // writer's checks, which report every other problem.
    std::vector<std::string> names(files.size());
    std::vector<ArchiveInput> inputs;
    bool namesOk = true;
    bool haveScript = false;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!ToCodePage932(BaseName(files[i]), &names[i])) {
            fprintf(stderr, "mkpackage pack: %s: the name cannot be written in code page 932\n",
                    files[i].c_str());
            namesOk = false;
            continue;
        }
        if (MbToLower(names[i].c_str()) == "install.inf") haveScript = true;
        ArchiveInput input;
        input.path = files[i].c_str();
        input.name = names[i].c_str();
        input.time = std::min(ModificationTime(files[i].c_str()), cap);
        inputs.push_back(input);
    }

    ByteString problems;
    if (!namesOk) {
        if (!inputs.empty() &&
            !CheckPackageInputs(stub, inputs.data(), inputs.size(), selfTime, &problems)) {
            PrintErrorLines("pack", problems.c_str());
        }
        return kRefused;
    }
    if (!WritePackage(stub, inputs.data(), inputs.size(), selfTime, output, &problems)) {
        PrintErrorLines("pack", problems.c_str());
        return kRefused;
    }
    if (!haveScript) {
        fprintf(stderr, "mkpackage pack: warning: no install.inf among the files; the installer "
                        "needs one to start\n");
    }
    return 0;
}
