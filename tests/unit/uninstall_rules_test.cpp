#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/uninstall_rules.h"

namespace {

StringList List(const std::vector<const char*>& items) {
    StringList list;
    for (const char* item : items) list.Add(item);
    return list;
}

std::vector<std::string> Vector(const StringList& list) {
    std::vector<std::string> items;
    for (size_t i = 0; i < list.Count(); ++i) items.push_back(list[i].c_str());
    return items;
}

// "表" is 0x95 0x5C in code page 932.
#define HYO "\x95\x5C"

}  // namespace

TEST(UninstallRulesTest, SubdirectoriesLongestFirstEachOnceInOrderOfDiscovery) {
    StringList copyList = List({
        "install.exe",
        "a\\b\\c.txt",
        "a\\d.txt",          // "a" is already listed
        "sub\\*.tmp",        // a pattern's directory
        "x\\y\\z\\w.dat",
        "a\\b\\e.txt",
        HYO "\\f.txt",       // the trail byte is no separator
        "\\lead.txt",        // nothing before the backslash: no directory
        "m\\\\n.txt",        // a doubled backslash
    });
    EXPECT_EQ(Vector(UninstallSubdirectories(copyList)),
              (std::vector<std::string>{"a\\b", "a", "sub", "x\\y\\z", "x\\y", "x", HYO,
                                        "m\\", "m"}));
    EXPECT_TRUE(UninstallSubdirectories(List({"one.txt", "two.txt"})).IsEmpty());
}

TEST(UninstallRulesTest, PatternDirectory) {
    struct Case {
        const char* pattern;
        const char* expected;
    } cases[] = {
        {"*.tmp", ""},
        {"sub\\*.tmp", "sub\\"},
        {"a\\b\\*", "a\\b\\"},
        {HYO "*.x", ""},
        {HYO "\\*.x", HYO "\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PatternDirectory(c.pattern), ByteString(c.expected)) << c.pattern;
    }
}

TEST(UninstallRulesTest, CreatedLevelCount) {
    struct Case {
        const char* chain;
        int levels;
    } cases[] = {
        {"", 0},
        {"Orbelo_Sample", 1},
        {"Quorvane\\Orbelo_Sample", 2},
        {"a\\b\\c\\d", 4},
        {"a\\\\b\\", 2},
        {"\\a", 1},
        {HYO "\\" HYO, 2},
        {HYO HYO, 1},
    };
    for (const Case& c : cases) EXPECT_EQ(CreatedLevelCount(c.chain), c.levels) << c.chain;
}

// "ア" is 0x83 0x41 in code page 932: its trail byte is an "A" that no
// lower-casing may touch.
#define KA "\x83\x41"
#define KI "\x83\x61"  // "ャ": 0x83 0x61, the trail byte of "ア" lower-cased

TEST(UninstallRulesTest, ClimbOnlyWhereTheRecordIsTheTailOfThePath) {
    struct Case {
        const char* installDir;
        const char* chain;
        std::vector<std::string> expected;
    } cases[] = {
        {"C:\\Program Files\\Quorvane\\Orbelo_Sample\\", "Quorvane\\Orbelo_Sample",
         {"C:\\Program Files\\Quorvane\\Orbelo_Sample", "C:\\Program Files\\Quorvane"}},
        // An existing directory: nothing recorded, nothing removed.
        {"C:\\Program Files\\Existing\\", "", {}},
        {"C:\\a\\b\\", "b", {"C:\\a\\b"}},
        // A record left by another installation: same number of levels,
        // other names. Nothing of this path was created.
        {"C:\\Tools\\App\\", "Old\\Level", {}},
        {"C:\\Tools\\App\\", "Old\\App", {}},
        {"C:\\Tools\\App\\", "App\\Tools", {}},
        // Case of ASCII letters does not matter, the trail byte of "ア" does.
        {"C:\\tools\\APP\\", "Tools\\app", {"C:\\tools\\APP", "C:\\tools"}},
        {"C:\\x\\" KA "\\", KI, {}},
        {"C:\\x\\" KA "\\", KA, {"C:\\x\\" KA}},
        // A record longer than the path below the drive's root names no
        // level of it.
        {"C:\\a\\", "x\\a", {}},
        {"C:\\a\\b\\c\\", "z\\a\\b\\c", {}},
        {"C:\\", "a", {}},
        // The whole path below the root was created; the root stays.
        {"C:\\a\\b\\", "a\\b", {"C:\\a\\b", "C:\\a"}},
        // Empty levels of the record name nothing.
        {"C:\\a\\b\\", "\\a\\\\b\\", {"C:\\a\\b", "C:\\a"}},
        {"D:\\" HYO "\\" HYO "\\", HYO "\\" HYO, {"D:\\" HYO "\\" HYO, "D:\\" HYO}},
        {"D:\\" HYO "\\x\\", "x", {"D:\\" HYO "\\x"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Vector(ClimbDirectories(c.installDir, c.chain)), c.expected)
            << c.installDir << " / " << c.chain;
    }
}
