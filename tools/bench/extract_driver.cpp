// Benchmark driver: extracts one package with ExtractPackageFrom and reports
// the time, the number of files and the peak working set, then removes the
// files again (timed apart).
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include "bench_common.h"
#include "package/extract_win.h"
#include "package/setup_config.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: extract_driver PACKAGE\n");
        return 2;
    }
    LARGE_INTEGER start, extracted, removed;
    QueryPerformanceCounter(&start);
    int code = ExtractPackageFrom(argv[1]);
    QueryPerformanceCounter(&extracted);
    size_t files = Config().ExtractedFiles.Count();
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    double cpu = bench::ProcessCpuMilliseconds();
    RemoveExtractedFiles();
    QueryPerformanceCounter(&removed);
    printf("extract code=%d files=%u ms=%.1f cpu_ms=%.1f peak_working_set_kb=%lu remove_ms=%.1f\n",
           code, static_cast<unsigned>(files), bench::Milliseconds(start, extracted), cpu,
           static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024),
           bench::Milliseconds(extracted, removed));
    return code;
}
