// The times that mkpackage takes from its command line and its environment.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

// Whole decimal seconds in the archive's signed 32-bit range.
inline bool ParseSeconds(const char* text, int64_t* seconds) {
    if (!*text) return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
    }
    errno = 0;
    long long value = strtoll(text, nullptr, 10);
    if (errno != 0 || value > INT32_MAX) return false;
    *seconds = value;
    return true;
}

// Reproducible packages: no recorded time lies after SOURCE_DATE_EPOCH. The
// latest time a package may record, INT64_MAX when the variable is unset;
// false, said on stderr as `command`, when it is not whole seconds.
inline bool ReadTimeCap(const char* command, int64_t* cap) {
    *cap = INT64_MAX;
    const char* epoch = getenv("SOURCE_DATE_EPOCH");
    if (!epoch || ParseSeconds(epoch, cap)) return true;
    fprintf(stderr,
            "mkpackage %s: SOURCE_DATE_EPOCH is not whole seconds since 1970 (up to 2147483647)\n",
            command);
    return false;
}
