// The file-status queries that the copy and the installation ask, and the
// platform test that several of them decide by.
#pragma once

#include <windows.h>
#include <stdint.h>

// True when a file or a directory of that name exists.
bool PathExists(const char* path);

// Size in bytes of the file at path; 0 when it cannot be opened. Files of
// 4 GiB and more report their size modulo 2^32 (no installed file is that big).
uint32_t FileSizeOf(const char* path);

// The NT test: GetVersionExA reports VER_PLATFORM_WIN32_NT (asked at each
// call).
bool IsNtPlatform();
