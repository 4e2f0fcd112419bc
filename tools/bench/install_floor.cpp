// Floor for the installation benchmark: the two passes an installation makes,
// done with nothing but CopyFileA. The stored files of the package go into a
// new directory of the temporary directory, then the expanded files go into
// the destination; the temporary copies are removed at the end, as the
// installer removes its extraction directory. Prints the wall time of both
// passes and of the removal.
// With a fourth argument, the stored files are also put into that directory
// through ExpandFile, the installer's own expansion, timed apart: what
// expanding costs against the plain copy of the expanded files. With a fifth,
// the same again through the system's LZ expansion library (LZInit, LZCopy,
// LZClose per file), for comparison. Those runs are followed by the copy of
// the expanded files once more, into DESTINATION with "-again" added: every
// pass writes into a page cache that the earlier ones filled, so a pass late
// in the process is slower for that alone, and the expansion is fairly
// compared with the mean of a copy before it and one after it.
#include <windows.h>
#include <lzexpand.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bench_common.h"
#include "package/expand_file_win.h"

namespace {

// Expands (or copies) every file of `stored` into `to` with ExpandFile; false
// on the first failure.
bool ExpandAll(const std::vector<std::string>& stored, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& source : stored) {
        std::string target = to + source.substr(source.rfind('\\'));
        int result = ExpandFile(target.c_str(), source.c_str());
        if (result < 0) {
            fprintf(stderr, "expansion of %s failed: %d\n", source.c_str(), result);
            return false;
        }
    }
    return true;
}

// The same through the LZ expansion library.
bool LzExpandAll(const std::vector<std::string>& stored, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    for (const std::string& source : stored) {
        std::string target = to + source.substr(source.rfind('\\'));
        HANDLE input = CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE output = CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (input == INVALID_HANDLE_VALUE || output == INVALID_HANDLE_VALUE) return false;
        INT lzInput = LZInit(static_cast<INT>(reinterpret_cast<INT_PTR>(input)));
        INT lzOutput = LZInit(static_cast<INT>(reinterpret_cast<INT_PTR>(output)));
        LONG result = LZCopy(lzInput, lzOutput);
        LZClose(lzInput);
        LZClose(lzOutput);
        if (result < 0) {
            fprintf(stderr, "expansion of %s failed: %ld\n", source.c_str(), result);
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 6) {
        fprintf(stderr, "usage: install_floor STORED_DIR EXPANDED_DIR DESTINATION"
                        " [EXPAND_DESTINATION [LZ_DESTINATION]]\n");
        return 2;
    }
    std::string stage = bench::ScratchDirectory("install_floor_");
    LARGE_INTEGER start, staged, installed, expanded, lzCopied, copiedAgain, removed;
    QueryPerformanceCounter(&start);
    std::vector<std::string> stagedFiles;
    if (!bench::CopyAll(argv[1], stage, &stagedFiles)) return 1;
    QueryPerformanceCounter(&staged);
    if (!bench::CopyAll(argv[2], argv[3], nullptr)) return 1;
    QueryPerformanceCounter(&installed);
    expanded = installed;
    if (argc >= 5) {
        if (!ExpandAll(stagedFiles, argv[4])) return 1;
        QueryPerformanceCounter(&expanded);
    }
    lzCopied = expanded;
    if (argc >= 6) {
        if (!LzExpandAll(stagedFiles, argv[5])) return 1;
        QueryPerformanceCounter(&lzCopied);
    }
    copiedAgain = lzCopied;
    if (argc >= 5) {
        if (!bench::CopyAll(argv[2], std::string(argv[3]) + "-again", nullptr)) return 1;
        QueryPerformanceCounter(&copiedAgain);
    }
    bench::RemoveCopies(stagedFiles, stage);
    QueryPerformanceCounter(&removed);
    printf("floor stored_files=%u stage_ms=%.1f install_ms=%.1f remove_ms=%.1f",
           static_cast<unsigned>(stagedFiles.size()), bench::Milliseconds(start, staged),
           bench::Milliseconds(staged, installed), bench::Milliseconds(copiedAgain, removed));
    if (argc >= 5) printf(" expand_ms=%.1f", bench::Milliseconds(installed, expanded));
    if (argc >= 6) printf(" lzcopy_ms=%.1f", bench::Milliseconds(expanded, lzCopied));
    if (argc >= 5) printf(" install_again_ms=%.1f", bench::Milliseconds(lzCopied, copiedAgain));
    printf("\n");
    return 0;
}
