#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/registry_chain.h"

namespace {

// "ソ" is 0x83 0x5C and "表" 0x95 0x5C: their trail byte is a backslash.
const std::string kSo = "\x83\x5C";
const std::string kHyo = "\x95\x5C";

std::vector<std::string> Strings(const StringList& list) {
    std::vector<std::string> out;
    for (size_t i = 0; i < list.Count(); ++i) out.push_back(list[i].c_str());
    return out;
}

using Keys = std::vector<std::string>;

}  // namespace

TEST(RegistryChain, PrefixesAreCutAtEachBackslashThenTheWholePath) {
    struct Case {
        std::string path;
        Keys prefixes;
    } cases[] = {
        {"", {}},
        {"Software", {"Software"}},
        {"Software\\Quorvane\\Orbelo\\Install",
         {"Software", "Software\\Quorvane", "Software\\Quorvane\\Orbelo",
          "Software\\Quorvane\\Orbelo\\Install"}},
        // Trail bytes 0x5C do not cut.
        {"Software\\" + kSo + "ft\\" + kHyo,
         {"Software", "Software\\" + kSo + "ft", "Software\\" + kSo + "ft\\" + kHyo}},
        {"A\\B\\", {"A", "A\\B", "A\\B\\"}},
    };
    for (const Case& c : cases) {
        Keys got;
        int count = KeyPrefixCount(c.path.c_str());
        for (int i = 0; i < count; ++i) got.push_back(KeyPrefix(c.path.c_str(), i).c_str());
        EXPECT_EQ(got, c.prefixes) << c.path;
        EXPECT_EQ(KeyPrefix(c.path.c_str(), count).c_str(), std::string()) << c.path;
        EXPECT_EQ(KeyPrefix(c.path.c_str(), -1).c_str(), std::string()) << c.path;
    }
}

TEST(RegistryChain, CreatedChainStartsAtTheFirstMissingKey) {
    const char kPath[] = "Software\\Quorvane\\Orbelo_Sample\\Install";
    struct Case {
        int firstMissing;
        std::string chain;
    } cases[] = {
        {-1, ""},  // everything existed
        {0, "Software\\Quorvane\\Orbelo_Sample\\Install"},
        {1, "Quorvane\\Orbelo_Sample\\Install"},
        {2, "Orbelo_Sample\\Install"},
        {3, "Install"},
        {4, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CreatedKeyChain(kPath, c.firstMissing).c_str(), c.chain) << c.firstMissing;
    }
    std::string japanese = "Software\\" + kSo + "\\" + kHyo + "\\Install";
    EXPECT_EQ(CreatedKeyChain(japanese.c_str(), 1).c_str(), kSo + "\\" + kHyo + "\\Install");
    EXPECT_EQ(CreatedKeyChain(japanese.c_str(), 2).c_str(), kHyo + "\\Install");
}

TEST(RegistryChain, ClimbFollowsTheCreatedChainInnermostFirst) {
    const char kPath[] = "Software\\Quorvane\\Orbelo\\Install";
    struct Case {
        std::string key;
        std::string chain;
        Keys climb;
    } cases[] = {
        {kPath, "", {}},
        {kPath, "Install", {kPath}},
        {kPath,
         "Quorvane\\Orbelo\\Install",
         {kPath, "Software\\Quorvane\\Orbelo", "Software\\Quorvane"}},
        // The key directly under the root is never deleted.
        {kPath,
         "Software\\Quorvane\\Orbelo\\Install",
         {kPath, "Software\\Quorvane\\Orbelo", "Software\\Quorvane"}},
        // A chain that does not name the key's tail deletes nothing, and a
        // partly matching one stops at the first difference.
        {kPath, "Other", {}},
        {kPath, "Elsewhere\\Orbelo\\Install", {kPath, "Software\\Quorvane\\Orbelo"}},
        // Comparison is exact.
        {kPath, "install", {}},
        // A parent that shares the created key's name existed before: it
        // stays, the chain named one key only.
        {"Software\\X\\X", "X", {"Software\\X\\X"}},
        {"Software\\X\\X\\X", "X\\X", {"Software\\X\\X\\X", "Software\\X\\X"}},
        {"Install", "Install", {}},
        {"Software\\" + kSo + "\\" + kHyo,
         kSo + "\\" + kHyo,
         {"Software\\" + kSo + "\\" + kHyo, "Software\\" + kSo}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Strings(KeysToClimb(c.key.c_str(), c.chain.c_str())), c.climb)
            << c.key << " / " << c.chain;
    }
}

TEST(RegistryChain, ListedItemsSplitIntoParentAndLeaf) {
    struct Case {
        std::string item;
        bool split;
        std::string parent, leaf;
    } cases[] = {
        {"Software\\Quorvane\\Orbelo_Sample", true, "Software\\Quorvane", "Orbelo_Sample"},
        {"Software\\Quorvane\\Orbelo_Sample\\", true, "Software\\Quorvane", "Orbelo_Sample"},
        {"Software\\Orbelo", true, "Software", "Orbelo"},
        {"Orbelo", false, "", ""},
        {"Orbelo\\", false, "", ""},
        {"", false, "", ""},
        // Only one trailing backslash goes; the empty leaf is not deleted.
        {"Software\\Orbelo\\\\", false, "", ""},
        {"\\Orbelo", false, "", ""},
        // A name ending in "ソ" keeps its trail byte.
        {"Software\\" + kSo, true, "Software", kSo},
        {"Software\\" + kSo + "\\", true, "Software", kSo},
        {kSo + "ft", false, "", ""},
        {"Software\\" + kHyo + "\\Orbelo", true, "Software\\" + kHyo, "Orbelo"},
    };
    for (const Case& c : cases) {
        ByteString parent, leaf;
        ASSERT_EQ(SplitKeyItem(c.item.c_str(), &parent, &leaf), c.split) << c.item;
        if (!c.split) continue;
        EXPECT_EQ(parent.c_str(), c.parent) << c.item;
        EXPECT_EQ(leaf.c_str(), c.leaf) << c.item;
    }
}
