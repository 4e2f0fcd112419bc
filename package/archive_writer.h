// Writes an installer: a stub followed by the archive of the given files.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "base/text.h"

struct ArchiveInput {
    const char* path;  // file to store
    const char* name;  // bare name in the archive (code page 932)
    int64_t time;      // seconds since 1970-01-01 UTC, recorded as the file time
};

// Writes stub + archive to outputPath. Refuses (false, with one line per
// problem in *error, and no output file left behind) a stub whose last section
// does not end the file, a missing or empty file, one whose first byte is white
// space, and a name the archive cannot carry. selfTime is the time recorded
// for the self entry.
bool WritePackage(const char* stubPath, const ArchiveInput* inputs, size_t count,
                  int64_t selfTime, const char* outputPath, ByteString* error);

// The checks of WritePackage alone: true when the stub and the inputs would
// make a package; otherwise false with one line per problem in *error.
bool CheckPackageInputs(const char* stubPath, const ArchiveInput* inputs, size_t count,
                        int64_t selfTime, ByteString* error);
