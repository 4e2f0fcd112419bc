// Benchmark floor: copies every file of a directory into a new directory of
// the temporary directory with CopyFileA, reports the time, then removes the
// copies again (timed apart).
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

// User and kernel time of this process so far.
double ProcessCpuMilliseconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 10000.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: copyfloor SOURCE_DIR\n");
        return 2;
    }
    std::string source = argv[1];
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string target = std::string(temp) + "copyfloor_" + std::to_string(GetCurrentProcessId());

    LARGE_INTEGER frequency, start, done;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    CreateDirectoryA(target.c_str(), nullptr);
    std::vector<std::string> copied;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((source + "\\*").c_str(), &found);
    bool ok = search != INVALID_HANDLE_VALUE;
    while (ok) {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            std::string to = target + "\\" + found.cFileName;
            if (!CopyFileA((source + "\\" + found.cFileName).c_str(), to.c_str(), FALSE)) {
                fprintf(stderr, "copy of %s failed: %lu\n", found.cFileName, GetLastError());
                return 1;
            }
            copied.push_back(to);
        }
        ok = FindNextFileA(search, &found) != 0;
    }
    FindClose(search);
    QueryPerformanceCounter(&done);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    double cpu = ProcessCpuMilliseconds();
    for (const std::string& file : copied) DeleteFileA(file.c_str());
    RemoveDirectoryA(target.c_str());
    LARGE_INTEGER removed;
    QueryPerformanceCounter(&removed);
    auto ms = [&](const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
        return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    };
    printf("copy files=%u ms=%.1f cpu_ms=%.1f peak_working_set_kb=%lu remove_ms=%.1f\n",
           static_cast<unsigned>(copied.size()), ms(start, done), cpu,
           static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024), ms(done, removed));
    return 0;
}
