#include "package/copy_progress.h"

int32_t CopyPercent(int64_t copiedBytes, uint32_t need) {
    if (need == 0) return copiedBytes > 0 ? 100 : 0;
    double percent = static_cast<double>(copiedBytes) / need * 100.0;
    // Converting an out-of-range double is undefined; clamp first.
    if (percent >= 2147483647.0) return INT32_MAX;
    if (percent <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(percent);
}

StringList DestinationPrefixes(const char* destination) {
    StringList prefixes;
    for (int found = MbFind(destination, '\\', 1); found >= 0;
         found = MbFind(destination, '\\', found + 1)) {
        prefixes.Add(ByteString(destination, static_cast<size_t>(found)));
    }
    return prefixes;
}
