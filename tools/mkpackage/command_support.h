// What the mkpackage commands share: the times they take from the command
// line and the environment, and how they report a list of problems.
#pragma once

#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

// Each line of text (lines end in "\n", the last one may not) on stderr,
// said as `command`.
inline void PrintErrorLines(const char* command, const char* text) {
    while (*text) {
        const char* end = strchr(text, '\n');
        size_t length = end ? static_cast<size_t>(end - text) : strlen(text);
        fprintf(stderr, "mkpackage %s: %.*s\n", command, static_cast<int>(length), text);
        text += length + (end ? 1 : 0);
    }
}
