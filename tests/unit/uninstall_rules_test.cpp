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

TEST(UninstallRulesTest, ClimbNeverPassesTheRecordNorTheDriveRoot) {
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
        // A record longer than the path stops below the drive's root.
        {"C:\\a\\", "x\\y\\z", {"C:\\a"}},
        {"C:\\a\\b\\c\\", "a\\b\\c\\d\\e", {"C:\\a\\b\\c", "C:\\a\\b", "C:\\a"}},
        {"C:\\", "a", {}},
        {"D:\\" HYO "\\" HYO "\\", "x\\y", {"D:\\" HYO "\\" HYO, "D:\\" HYO}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Vector(ClimbDirectories(c.installDir, c.chain)), c.expected)
            << c.installDir << " / " << c.chain;
    }
}
