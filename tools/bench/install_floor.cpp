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

namespace {

double Ms(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// Copies every file of `from` into `to` (created); the copies are added to
// `copied`. False on the first failure.
bool CopyAll(const std::string& from, const std::string& to, std::vector<std::string>* copied) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((from + "\\*").c_str(), &found);
    bool ok = search != INVALID_HANDLE_VALUE;
    while (ok) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::string target = to + "\\" + found.cFileName;
            if (!CopyFileA((from + "\\" + found.cFileName).c_str(), target.c_str(), FALSE)) {
                fprintf(stderr, "copy of %s failed: %lu\n", found.cFileName, GetLastError());
                FindClose(search);
                return false;
            }
            if (copied) copied->push_back(target);
        }
        ok = FindNextFileA(search, &found) != 0;
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: install_floor STORED_DIR EXPANDED_DIR DESTINATION\n");
        return 2;
    }
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string stage = std::string(temp) + "install_floor_" + std::to_string(GetCurrentProcessId());

    LARGE_INTEGER start, staged, installed, removed;
    QueryPerformanceCounter(&start);
    std::vector<std::string> stagedFiles;
    if (!CopyAll(argv[1], stage, &stagedFiles)) return 1;
    QueryPerformanceCounter(&staged);
    if (!CopyAll(argv[2], argv[3], nullptr)) return 1;
    QueryPerformanceCounter(&installed);
    for (const std::string& file : stagedFiles) DeleteFileA(file.c_str());
    RemoveDirectoryA(stage.c_str());
    QueryPerformanceCounter(&removed);
    printf("floor stored_files=%u stage_ms=%.1f install_ms=%.1f remove_ms=%.1f\n",
           static_cast<unsigned>(stagedFiles.size()), Ms(start, staged), Ms(staged, installed),
           Ms(installed, removed));
    return 0;
}
