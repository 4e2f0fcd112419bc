// mkpackage: builds installer packages and the SZDD files they carry.
#include <stdio.h>
#include <string.h>

#include "tools/mkpackage/commands.h"

namespace {

constexpr const char kVersion[] = "mkpackage 1.0";
constexpr int kUsage = 2;

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;  // synopsis lines, then the description indented by six
};

const Command kCommands[] = {
    {"build", RunBuild,
     "  mkpackage build --script DIR/install.inf --from DIR... --stub STUB -o OUT\n"
     "                  [--time SECONDS] [--quiet] [--plain NAME]... [--compress NAME]...\n"
     "      packs every file that the script makes the installer look for: [Source]\n"
     "      files (compressed where that makes them smaller), install.inf and the\n"
     "      licence, each taken from the first --from folder that has it; refuses,\n"
     "      writing nothing, when a file is missing or cannot be carried, or a\n"
     "      [Source] name leaves the installation directory (\"..\", C:, \\)\n"
     "      (SOURCE_DATE_EPOCH caps the recorded times; --time fixes them all);\n"
     "      a UTF-8 script is packed converted to code page 932\n"},
    {"list", RunList,
     "  mkpackage list PACKAGE [--json]\n"
     "      shows the archive's entries, their sizes and times, and the totals;\n"
     "      --json: the same as JSON (name, stored, expanded, time, compressed,\n"
     "      damaged); status 1 when a compressed entry is damaged\n"},
    {"verify", RunVerify,
     "  mkpackage verify PACKAGE [--from DIR]...\n"
     "      checks the archive's structure and that every compressed entry expands\n"
     "      to exactly its recorded length; with --from, also that every entry\n"
     "      equals its source file (compressed ones after expansion), taken from\n"
     "      the first DIR that has it; status 1 on any difference\n"},
    {"extract", RunExtract,
     "  mkpackage extract PACKAGE DIR [--expand] [--force]\n"
     "      writes every entry into DIR (--expand: compressed ones expanded under\n"
     "      their restored names); an existing file is replaced only with --force,\n"
     "      and a symbolic link is replaced itself, never written through\n"},
    {"pack", RunPack,
     "  mkpackage pack --stub STUB -o OUT [--time SECONDS] FILE...\n"
     "      writes STUB followed by an archive of the FILEs, each stored under its\n"
     "      base name with its modification time (SOURCE_DATE_EPOCH caps the times)\n"},
    {"compress", RunCompress,
     "  mkpackage compress FILE... [-o DIR]\n"
     "      writes the SZDD form of each FILE under its underscore name (a.txt -> a.tx_)\n"},
    {"expand", RunExpand,
     "  mkpackage expand FILE... [-o DIR]\n"
     "      restores SZDD files under the names their headers record\n"},
};

const char kExitCodes[] =
    "exit status: 0 done, 1 refused (a problem with a file, said on standard error),\n"
    "2 usage error\n";

const Command* FindCommand(const char* name) {
    for (const Command& command : kCommands) {
        if (strcmp(command.name, name) == 0) return &command;
    }
    return nullptr;
}

void PrintUsage(FILE* out) {
    fputs(
        "usage: mkpackage COMMAND [ARGUMENTS]   (mkpackage help COMMAND for one command)\n"
        "       mkpackage --help | --version\n",
        out);
    for (const Command& command : kCommands) fputs(command.usage, out);
    fputs(kExitCodes, out);
}

void PrintCommandUsage(const Command& command) {
    fputs("usage:\n", stdout);
    fputs(command.usage, stdout);
    fputs(kExitCodes, stdout);
}

bool IsHelp(const char* arg) { return strcmp(arg, "--help") == 0 || strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        fputs("mkpackage: no command given\n", stderr);
        PrintUsage(stderr);
        return kUsage;
    }
    const char* name = argv[1];
    if (IsHelp(name) || (strcmp(name, "help") == 0 && argc == 2)) {
        PrintUsage(stdout);
        return 0;
    }
    if (strcmp(name, "--version") == 0 || strcmp(name, "-V") == 0) {
        printf("%s\n", kVersion);
        return 0;
    }
    if (strcmp(name, "help") == 0) {
        const Command* command = FindCommand(argv[2]);
        if (!command || argc > 3) {
            fprintf(stderr, "mkpackage help: %s '%s'\n",
                    command ? "one command at a time, not" : "unknown command",
                    command ? argv[3] : argv[2]);
            PrintUsage(stderr);
            return kUsage;
        }
        PrintCommandUsage(*command);
        return 0;
    }
    const Command* command = FindCommand(name);
    if (!command) {
        fprintf(stderr, "mkpackage: unknown command '%s'\n", name);
        PrintUsage(stderr);
        return kUsage;
    }
    // "--help" anywhere among the options asks for the command's usage;
    // after "--" it is a file name.
    for (int i = 2; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (IsHelp(argv[i])) {
            PrintCommandUsage(*command);
            return 0;
        }
    }
    return command->run(argc - 2, argv + 2);
}
