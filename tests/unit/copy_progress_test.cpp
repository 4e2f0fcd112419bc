#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/copy_progress.h"

TEST(CopyPercent, MeasuresBytesAgainstTheNeed) {
    struct Case {
        int64_t copied;
        uint32_t need;
        int32_t expected;
    } cases[] = {
        {250, 1000, 25},
        {500, 1000, 50},
        {1000, 1000, 100},
        {999, 1000, 99},    // truncated, not rounded
        {1500, 1000, 150},  // beyond the need passes through
        {0, 1000, 0},
        {1326861, 1326862, 99},
        // Needs above 2 GiB.
        {0x60000000LL, 0xC0000000u, 50},
        {2999999999LL, 3000000000u, 99},
        {3000000000LL, 3000000000u, 100},
        {4294967295LL, 4294967295u, 100},
        // Nothing to measure against: 0 before the first byte, 100 after.
        {0, 0, 0},
        {1, 0, 100},
        // The sum can pass 2 GiB without wrapping; the percentage is clamped.
        {0x100000000LL, 1, INT32_MAX},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CopyPercent(c.copied, c.need), c.expected) << c.copied << "/" << c.need;
    }
}

TEST(CopyPercent, FilesOf250And250And500AgainstNeed1000) {
    int64_t copied = 0;
    std::vector<int32_t> shown;
    for (int64_t size : {250, 250, 500}) {
        copied += size;
        shown.push_back(CopyPercent(copied, 1000));
    }
    EXPECT_EQ(shown, (std::vector<int32_t>{25, 50, 100}));
}

TEST(DestinationPrefixes, OutermostFirstSkippingTrailBytes) {
    struct Case {
        const char* destination;
        std::vector<std::string> expected;
    } cases[] = {
        {"C:\\A\\B\\f.exe", {"C:", "C:\\A", "C:\\A\\B"}},
        {"C:\\X\\Y\\Z\\a.exe", {"C:", "C:\\X", "C:\\X\\Y", "C:\\X\\Y\\Z"}},
        {"f.exe", {}},
        // A leading backslash (root of the current drive) gives no empty prefix.
        {"\\dir\\f", {"\\dir"}},
        // "ソ" ends in 0x5C: not a separator.
        {"C:\\\x83\x5C\\f", {"C:", "C:\\\x83\x5C"}},
        {"C:\\\x83\x5C" "f", {"C:"}},
    };
    for (const Case& c : cases) {
        StringList prefixes = DestinationPrefixes(c.destination);
        std::vector<std::string> got;
        for (size_t i = 0; i < prefixes.Count(); ++i) got.push_back(prefixes[i].c_str());
        EXPECT_EQ(got, c.expected) << c.destination;
    }
}
