// Benchmark floor: copies every file of a directory into a new directory of
// the temporary directory with CopyFileA, reports the time, then removes the
// copies again (timed apart).
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "bench_common.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: copyfloor SOURCE_DIR\n");
        return 2;
    }
    std::string target = bench::ScratchDirectory("copyfloor_");

    LARGE_INTEGER start, done, removed;
    QueryPerformanceCounter(&start);
    std::vector<std::string> copied;
    if (!bench::CopyAll(argv[1], target, &copied)) return 1;
    QueryPerformanceCounter(&done);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    double cpu = bench::ProcessCpuMilliseconds();
    bench::RemoveCopies(copied, target);
    QueryPerformanceCounter(&removed);
    printf("copy files=%u ms=%.1f cpu_ms=%.1f peak_working_set_kb=%lu remove_ms=%.1f\n",
           static_cast<unsigned>(copied.size()), bench::Milliseconds(start, done), cpu,
           static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
           bench::Milliseconds(done, removed));
    return 0;
}
