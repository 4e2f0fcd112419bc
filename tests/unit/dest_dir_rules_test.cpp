#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "package/copy_progress.h"
#include "package/profile.h"
#include "package/setup_config.h"
#include "package/setup_script.h"
#include "res/resource.h"
#include "ui/dest_dir_rules.h"

namespace {

// "ソ" is 0x83 0x5C and "表" 0x95 0x5C: their trail byte is a backslash.
const char kSo[] = "\x83\x5C";
const char kHyo[] = "\x95\x5C";

// A volume table for the validation: the directories that exist (absolute,
// without trailing backslash except for roots), the names that cannot be
// created, and a log of every call in order.
class VolumeModel : public DestDirOps {
public:
    std::set<std::string> existing{"C:\\", "C:\\Program Files"};
    std::set<std::string> uncreatable;
    uint64_t freeKilobytes = 1u << 20;
    std::string current = "Z:\\";
    std::vector<std::string> log;

    bool EnterDirectory(const char* path) override {
        log.push_back(std::string("enter ") + path);
        std::string target = Resolve(path);
        if (!existing.count(target)) return false;
        current = target;
        return true;
    }
    bool MakeDirectory(const char* name) override {
        log.push_back(std::string("make ") + name);
        std::string target = Resolve(name);
        if (uncreatable.count(name) || existing.count(target)) return false;
        existing.insert(target);
        return true;
    }
    void RemoveLevel(const char* path) override {
        log.push_back(std::string("remove ") + path);
        // Only an empty directory that is not the current one goes.
        std::string target = Resolve(path);
        for (const std::string& other : existing)
            if (other.size() > target.size() && other.compare(0, target.size() + 1, target + "\\") == 0)
                return;
        if (target != current) existing.erase(target);
    }
    uint64_t CurrentVolumeFreeKilobytes() override {
        log.push_back("free");
        return freeKilobytes;
    }

private:
    std::string Resolve(const std::string& path) const {
        std::string full = path.size() >= 3 && path[1] == ':' ? path
                           : current.size() == 3            ? current + path
                                                            : current + "\\" + path;
        // The model's own paths hold "ソ" too: only a real backslash is cut.
        if (full.size() > 3 && MbFindLast(full.c_str(), '\\') == static_cast<int>(full.size()) - 1) {
            full.pop_back();
        }
        return full;
    }
};

}  // namespace

TEST(DestDirValidation, ChecksInTheirOrderAndStopsAtTheFirstFailure) {
    const std::string longDir = "C:\\" + std::string(300, 'a');
    struct Case {
        std::string typed;
        uint64_t freeKilobytes;
        uint32_t needBytes;
        int message;
        std::vector<std::string> log;  // the calls made, in order
    } cases[] = {
        // A drive alone becomes its root and is accepted without creating anything.
        {"C:", 1, 0, 0, {"enter C:\\", "free", "enter C:\\"}},
        // No drive, a UNC name, a lone letter: message 4 before anything is touched.
        {"Program Files\\Orbelo", 1, 0, IDS_NOT_ABSOLUTE, {}},
        {"\\\\server\\share\\Orbelo", 1, 0, IDS_NOT_ABSOLUTE, {}},
        {"C", 1, 0, IDS_NOT_ABSOLUTE, {}},
        {"", 1, 0, IDS_NOT_ABSOLUTE, {}},
        // The volume is checked before the directory part: an unknown drive
        // with a doubled backslash is a volume error.
        {"Q:\\a\\\\b", 1, 0, IDS_BAD_VOLUME, {"enter Q:\\"}},
        {"C:\\a\\\\b", 1, 0, IDS_BAD_DIRECTORY, {"enter C:\\"}},
        {"C:\\\\a", 1, 0, IDS_BAD_DIRECTORY, {"enter C:\\"}},
        {"C:\\a\\..\\b", 1, 0, IDS_BAD_DIRECTORY, {"enter C:\\"}},
        {"C:\\.\\b", 1, 0, IDS_BAD_DIRECTORY, {"enter C:\\"}},
        // Free space is compared in whole kilobytes; a need below 1024 bytes
        // is 0 KB, and no free space never passes.
        {"C:\\", 1, 1023, 0, {"enter C:\\", "free", "enter C:\\"}},
        {"C:\\", 1, 1024, IDS_NO_SPACE, {"enter C:\\", "free"}},
        {"C:\\", 0, 0, IDS_NO_SPACE, {"enter C:\\", "free"}},
        {"C:\\", 2, 2047, 0, {"enter C:\\", "free", "enter C:\\"}},
        // Above 2^31 KB free, a 32-bit figure would wrap to 5 or go negative.
        {"C:\\", (1ull << 32) + 5, 1u << 20, 0, {"enter C:\\", "free", "enter C:\\"}},
        {"C:\\", 3ull << 31, 0xFFFFFFFFu, 0, {"enter C:\\", "free", "enter C:\\"}},
        // Too long for the 260-byte buffers: refused before any level is made.
        {longDir, 1, 0, IDS_CANNOT_CREATE_DIR, {"enter C:\\", "free"}},
        {std::string(300, 'a'), 1, 0, IDS_NOT_ABSOLUTE, {}},
    };
    for (const Case& c : cases) {
        VolumeModel volume;
        volume.freeKilobytes = c.freeKilobytes;
        DestDirVerdict verdict = ValidateDestDir(c.typed.c_str(), c.needBytes, volume);
        EXPECT_EQ(verdict.message, c.message) << c.typed;
        EXPECT_EQ(volume.log, c.log) << c.typed;
        EXPECT_TRUE(verdict.createdChain.IsEmpty()) << c.typed;
    }
}

TEST(DestDirValidation, InstallDirIsTrimmedAndEndsInOneBackslashEvenWhenRefused) {
    struct Case {
        const char* typed;
        const char* installDir;
    } cases[] = {
        {"  C:\\Program Files\\Orbelo \t", "C:\\Program Files\\Orbelo\\"},
        {"C:\\Program Files\\", "C:\\Program Files\\"},
        {"C:", "C:\\"},
        {" Program Files ", "Program Files\\"},
        // A trailing "ソ" ends in 0x5C but is no backslash: one is appended.
        {"C:\\\x83\x5C", "C:\\\x83\x5C\\"},
    };
    for (const Case& c : cases) {
        VolumeModel volume;
        EXPECT_EQ(ValidateDestDir(c.typed, 0, volume).installDir, ByteString(c.installDir)) << c.typed;
    }
}

TEST(DestDirValidation, CreatesMissingLevelsInOrderAndReportsThemAsARelativeChain) {
    VolumeModel volume;
    DestDirVerdict verdict =
        ValidateDestDir("C:\\Program Files\\Quorvane\\Orbelo", 4096, volume);
    EXPECT_EQ(verdict.message, 0);
    EXPECT_EQ(verdict.installDir, "C:\\Program Files\\Quorvane\\Orbelo\\");
    EXPECT_EQ(verdict.createdChain, "Quorvane\\Orbelo");
    std::vector<std::string> expected = {
        "enter C:\\", "free", "enter Program Files", "enter Quorvane", "make Quorvane",
        "enter Quorvane", "enter Orbelo", "make Orbelo", "enter Orbelo",
        "enter C:\\Program Files\\Quorvane\\Orbelo\\"};
    EXPECT_EQ(volume.log, expected);
    EXPECT_EQ(volume.current, "C:\\Program Files\\Quorvane\\Orbelo");

    // The same directory again: everything exists, nothing is created.
    volume.log.clear();
    verdict = ValidateDestDir("C:\\Program Files\\Quorvane\\Orbelo\\", 4096, volume);
    EXPECT_EQ(verdict.message, 0);
    EXPECT_TRUE(verdict.createdChain.IsEmpty());
    for (const std::string& call : volume.log) EXPECT_NE(call.rfind("make", 0), 0u) << call;
}

// A refusal half-way leaves the volume as it found it: the levels that the
// attempt made go again, innermost first, after leaving them for the root;
// levels that existed stay, and nothing is recorded.
TEST(DestDirValidation, ALevelThatCannotBeCreatedStopsTheWalkAndRemovesWhatItMade) {
    struct Case {
        const char* typed;
        std::vector<std::string> removed;  // in order
    } cases[] = {
        {"C:\\a\\b*c\\d", {"C:\\a"}},
        {"C:\\Program Files\\x\\y\\b*c", {"C:\\Program Files\\x\\y", "C:\\Program Files\\x"}},
        {"C:\\Program Files\\b*c", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        VolumeModel volume;
        volume.uncreatable.insert("b*c");
        std::set<std::string> before = volume.existing;
        DestDirVerdict verdict = ValidateDestDir(c.typed, 0, volume);
        EXPECT_EQ(verdict.message, IDS_CANNOT_CREATE_DIR);
        EXPECT_TRUE(verdict.createdChain.IsEmpty());
        EXPECT_EQ(volume.existing, before);
        std::vector<std::string> removed;
        for (const std::string& call : volume.log)
            if (call.rfind("remove ", 0) == 0) removed.push_back(call.substr(7));
        EXPECT_EQ(removed, c.removed);
        EXPECT_EQ(volume.current, "C:\\");
    }
}

TEST(DestDirValidation, LevelsEndingInA5CTrailByteAreWholeNames) {
    VolumeModel volume;
    ByteString typed("C:\\");
    typed.Append(kSo);
    typed.Append("\\");
    typed.Append(kHyo);
    DestDirVerdict verdict = ValidateDestDir(typed.c_str(), 0, volume);
    EXPECT_EQ(verdict.message, 0);
    ByteString chain(kSo);
    chain.Append("\\");
    chain.Append(kHyo);
    EXPECT_EQ(verdict.createdChain, chain);
    EXPECT_TRUE(volume.existing.count(std::string("C:\\") + kSo + "\\" + kHyo));
}

// A product of 3,000,000,000 bytes, as its script gives the need: the volume
// must hold all of it, and the bar reaches 100 % when all of it is copied.
TEST(DestDirValidation, LargeProductNeedsItsWholeSizeFreeAndFillsTheBarOnce) {
    for (const char* written : {"3000000000", "-1294967296"}) {
        SCOPED_TRACE(written);
        std::string script = std::string("[Setup]\r\nDstNeedSpace=") + written + "\r\n";
        IniProfile profile;
        profile.Parse(script.data(), script.size());
        std::unique_ptr<SetupConfig> config(new SetupConfig);
        ReadSetupScriptFrom(profile, false, true, *config);
        const uint32_t need = config->DstNeedSpace;

        struct Case {
            uint64_t freeKilobytes;
            int message;
        } cases[] = {
            {2 * 1024 * 1024 + 1, IDS_NO_SPACE},  // just over 2 GiB
            {2929687, IDS_NO_SPACE},              // 3,000,000,000 / 1024, rounded down
            {2929688, 0},
        };
        for (const Case& c : cases) {
            VolumeModel volume;
            volume.freeKilobytes = c.freeKilobytes;
            EXPECT_EQ(ValidateDestDir("C:\\Program Files", need, volume).message, c.message)
                << c.freeKilobytes << " KB free";
        }
        EXPECT_EQ(CopyPercent(1500000000, need), 50);
        EXPECT_EQ(CopyPercent(2999999999LL, need), 99);
        EXPECT_EQ(CopyPercent(3000000000LL, need), 100);
    }
}

TEST(DestDirRules, ComponentsAreRunsBetweenBackslashes) {
    struct Case {
        std::string directory;
        std::vector<std::string> components;
    } cases[] = {
        {"\\a\\b\\", {"a", "b"}},
        {"\\a\\\\b", {"a", "b"}},
        {"\\", {}},
        {"", {}},
        {"x", {"x"}},
        {std::string("\\") + kSo + "\\" + kHyo + "x\\", {kSo, std::string(kHyo) + "x"}},
    };
    for (const Case& c : cases) {
        StringList list;
        SplitComponents(c.directory.c_str(), list);
        std::vector<std::string> got;
        for (size_t i = 0; i < list.Count(); ++i) got.push_back(list[i].c_str());
        EXPECT_EQ(got, c.components) << c.directory;
    }
    // "ソ\" is a name followed by one separator, not a doubled backslash.
    EXPECT_FALSE(IsMalformedDirectoryPart((std::string("\\") + kSo + "\\x\\").c_str()));
    EXPECT_FALSE(IsMalformedDirectoryPart("\\a.b\\...\\.x\\"));
}

TEST(DestDirRules, ShownDirectoryDropsTheBackslashExceptAtARoot) {
    struct Case {
        const char* installDir;
        const char* shown;
    } cases[] = {
        {"C:\\Program Files\\Orbelo\\", "C:\\Program Files\\Orbelo"},
        {"C:\\", "C:\\"},
        {"C:\\a", "C:\\a"},
        {"C:\\Program Files\\Quorvane", "C:\\Program Files\\Quorvane"},
        // The proposal may end in "ソ": cutting its 0x5C would split the character.
        {"C:\\\x83\x5C", "C:\\\x83\x5C"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ShownDirectory(c.installDir), ByteString(c.shown)) << c.installDir;
    }
}

TEST(DestDirRules, BrowsedFolderKeepsTheLastTypedLevel) {
    struct Case {
        const char* chosen;
        const char* edit;
        const char* combined;
    } cases[] = {
        {"C:\\", "C:\\Program Files\\Orbelo", "C:\\Orbelo"},
        {"D:\\Apps", "C:\\Program Files\\Orbelo", "D:\\Apps\\Orbelo"},
        {"D:\\Apps", "C:\\Program Files\\", "D:\\Apps\\"},
        {"D:\\Apps", "Orbelo", "D:\\Apps\\Orbelo"},
        {"C:\\", "Orbelo", "C:\\Orbelo"},
        {"D:\\Apps", "", "D:\\Apps"},
        {"D:\\Apps", "C:\\x\\\\\\Orbelo", "D:\\Apps\\Orbelo"},
        // The last backslash is a real one, not the trail byte of "ソ".
        {"D:\\", "C:\\a\\\x83\x5C", "D:\\\x83\x5C"},
        {"D:\\\x95\x5C", "C:\\a\\b", "D:\\\x95\x5C\\b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CombineBrowsedPath(c.chosen, c.edit), ByteString(c.combined))
            << c.chosen << " + " << c.edit;
    }
}

TEST(DestDirRules, DialogTextsTakeDataOnlyAsArguments) {
    struct Case {
        const char* format;
        const char* argument;
        const char* text;
    } cases[] = {
        {"%sをインストール", "Orbelo", "Orbeloをインストール"},
        {"(例 %s)", "C:\\100%s\\%d%n", "(例 C:\\100%s\\%d%n)"},
        {"%%s %s", "x", "%s x"},
        {"no format", "x", "no format"},
        {"%", "x", "%"},
        {"\x83%s", "x", "\x83%s"},  // "%" as a trail byte is no format
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatDialogText(c.format, c.argument), ByteString(c.text)) << c.format;
    }
}

TEST(DestDirRules, FreeKilobytesUseSixtyFourBits) {
    EXPECT_EQ(FreeKilobytes(8, 512, 1000), 4000u);
    EXPECT_EQ(FreeKilobytes(8, 4096, 0xFFFFFFFFu), 0xFFFFFFFFull * 32);
    EXPECT_EQ(FreeKilobytes(1, 512, 1), 0u);
    EXPECT_EQ(FreeKilobytes(0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu), UINT64_MAX / 1024);
    EXPECT_TRUE(HasEnoughSpace(1, 0));
    EXPECT_FALSE(HasEnoughSpace(0, 0));
    EXPECT_TRUE(HasEnoughSpace(4194304, 0xFFFFFFFFu));
    EXPECT_FALSE(HasEnoughSpace(4194303, 0xFFFFFFFFu));
}
