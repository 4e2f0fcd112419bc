// StdioSource, the tools' way of reading an archive. Apart from archive.cpp
// so that the installer, which reads through the system's file functions,
// does not import the C runtime's seek functions.
#include "package/archive.h"

#include <limits.h>

bool StdioSource::QuerySize(int64_t* size) {
    long here = ftell(file_);
    if (here < 0 || fseek(file_, 0, SEEK_END) != 0) return false;
    long end = ftell(file_);
    if (fseek(file_, here, SEEK_SET) != 0 || end < 0) return false;
    *size = end;
    return true;
}

bool StdioSource::Seek(int64_t offset) {
    if (offset < 0 || offset > LONG_MAX) return false;
    return fseek(file_, static_cast<long>(offset), SEEK_SET) == 0;
}

size_t StdioSource::Read(void* buffer, size_t size) { return fread(buffer, 1, size, file_); }
