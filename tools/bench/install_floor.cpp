// Floor for the installation benchmark: the two passes an installation makes,
// done with nothing but CopyFileA. The stored files of the package go into a
// new directory of the temporary directory, then the expanded files go into
// the destination; the temporary copies are removed at the end, as the
// installer removes its extraction directory. Prints the wall time of both
// passes and of the removal.
#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bench_common.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: install_floor STORED_DIR EXPANDED_DIR DESTINATION\n");
        return 2;
    }
    std::string stage = bench::ScratchDirectory("install_floor_");
    LARGE_INTEGER start, staged, installed, removed;
    QueryPerformanceCounter(&start);
    std::vector<std::string> stagedFiles;
    if (!bench::CopyAll(argv[1], stage, &stagedFiles)) return 1;
    QueryPerformanceCounter(&staged);
    if (!bench::CopyAll(argv[2], argv[3], nullptr)) return 1;
    QueryPerformanceCounter(&installed);
    bench::RemoveCopies(stagedFiles, stage);
    QueryPerformanceCounter(&removed);
    printf("floor stored_files=%u stage_ms=%.1f install_ms=%.1f remove_ms=%.1f\n",
           static_cast<unsigned>(stagedFiles.size()), bench::Milliseconds(start, staged),
           bench::Milliseconds(staged, installed), bench::Milliseconds(installed, removed));
    return 0;
}
