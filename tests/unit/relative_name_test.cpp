#include <gtest/gtest.h>

#include <string>

#include "package/relative_name.h"

TEST(RelativeNameTest, OnlyNamesThatStayInsideTheirDirectoryPass) {
    // "表" is 0x95 0x5C and "ソ" 0x83 0x5C: their trail byte is a backslash.
    const std::string hyo = "\x95\x5C";
    const std::string so = "\x83\x5C";
    const struct {
        std::string name;
        NameEscape expected;
    } cases[] = {
        {"readme.txt", NameEscape::kNone},
        {"a\\b.txt", NameEscape::kNone},
        {"a/b.txt", NameEscape::kNone},
        {"sub\\*.tmp", NameEscape::kNone},
        {"*.*", NameEscape::kNone},
        {".\\a.txt", NameEscape::kNone},
        {"a..b.txt", NameEscape::kNone},
        {"..a", NameEscape::kNone},
        {"a.", NameEscape::kNone},
        {"sub\\", NameEscape::kNone},
        {"a\\\\b", NameEscape::kNone},
        {"", NameEscape::kNone},
        // A trail byte 0x5C before dots is no separator: "表.." is one name.
        {hyo + "..", NameEscape::kNone},
        {so + "\\" + hyo + "\\x.txt", NameEscape::kNone},
        {"data" + so + "..\\x", NameEscape::kNone},

        {"..", NameEscape::kParent},
        {"..\\victim.txt", NameEscape::kParent},
        {"../victim.txt", NameEscape::kParent},
        {"sub\\..\\..\\x", NameEscape::kParent},
        {"sub/../x", NameEscape::kParent},
        {"sub\\..", NameEscape::kParent},
        {"...\\x", NameEscape::kParent},
        {".. \\x", NameEscape::kParent},
        {". .\\x", NameEscape::kParent},
        {"..\\*.dat", NameEscape::kParent},
        {hyo + "\\..\\x", NameEscape::kParent},

        {"\\x", NameEscape::kRooted},
        {"/x", NameEscape::kRooted},
        {"\\\\server\\share\\x", NameEscape::kRooted},
        {"\\\\?\\C:\\x", NameEscape::kRooted},
        {"\\\\.\\PhysicalDrive0", NameEscape::kRooted},

        {"C:\\x", NameEscape::kDrive},
        {"C:x", NameEscape::kDrive},
        {"c:/x", NameEscape::kDrive},
        {"a.txt:stream", NameEscape::kDrive},
        {hyo + ":x", NameEscape::kDrive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FindNameEscape(c.name.c_str()), c.expected);
        EXPECT_EQ(StaysInside(c.name.c_str()), c.expected == NameEscape::kNone);
    }
}
