// What the benchmark programs share: their clocks and the plain file copy
// that the floors measure the product against.
#pragma once

#include <windows.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace bench {

inline double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process so far.
inline double ProcessCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

// A name for a new directory of the temporary directory, own to this process.
inline std::string ScratchDirectory(const char* prefix) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    return std::string(temp) + prefix + std::to_string(GetCurrentProcessId());
}

// Copies every file of `from` into `to` (created) with CopyFileA; the copies
// are added to `copied`. False on the first failure.
inline bool CopyAll(const std::string& from, const std::string& to,
                    std::vector<std::string>* copied) {
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

// Removes the files that CopyAll made and then their directory.
inline void RemoveCopies(const std::vector<std::string>& copied, const std::string& directory) {
    for (const std::string& file : copied) DeleteFileA(file.c_str());
    RemoveDirectoryA(directory.c_str());
}

}  // namespace bench
