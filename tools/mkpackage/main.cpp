// mkpackage: builds installer packages and the SZDD files they carry.
#include <stdio.h>
#include <string.h>

#include "tools/mkpackage/commands.h"

namespace {

void PrintUsage(FILE* out) {
    fputs("usage:\n"
          "  mkpackage build --script DIR/install.inf --from DIR... --stub STUB -o OUT\n"
          "                  [--time SECONDS] [--quiet] [--plain NAME]... [--compress NAME]...\n"
          "      packs every file that the script makes the installer look for: [Source]\n"
          "      files (compressed where that makes them smaller), install.inf and the\n"
          "      licence, each taken from the first --from folder that has it; refuses,\n"
          "      writing nothing, when a file is missing or cannot be carried, or a\n"
          "      [Source] name leaves the installation directory (\"..\", C:, \\)\n"
          "      (SOURCE_DATE_EPOCH caps the recorded times; --time fixes them all)\n"
          "  mkpackage list PACKAGE\n"
          "  mkpackage extract PACKAGE DIR [--expand]\n"
          "  mkpackage pack --stub STUB -o OUT [--time SECONDS] FILE...\n"
          "      writes STUB followed by an archive of the FILEs, each stored under its\n"
          "      base name with its modification time (SOURCE_DATE_EPOCH caps the times)\n"
          "  mkpackage compress FILE... [-o DIR]\n"
          "  mkpackage expand FILE... [-o DIR]\n",
          out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return 2;
    }
    const char* command = argv[1];
    if (strcmp(command, "build") == 0) return RunBuild(argc - 2, argv + 2);
    if (strcmp(command, "list") == 0) return RunList(argc - 2, argv + 2);
    if (strcmp(command, "extract") == 0) return RunExtract(argc - 2, argv + 2);
    if (strcmp(command, "pack") == 0) return RunPack(argc - 2, argv + 2);
    if (strcmp(command, "compress") == 0) return RunCompress(argc - 2, argv + 2);
    if (strcmp(command, "expand") == 0) return RunExpand(argc - 2, argv + 2);
    if (strcmp(command, "-h") == 0 || strcmp(command, "--help") == 0 ||
        strcmp(command, "help") == 0) {
        PrintUsage(stdout);
        return 0;
    }
    fprintf(stderr, "mkpackage: unknown command '%s'\n", command);
    PrintUsage(stderr);
    return 2;
}
