// The portable profile reader: each case pins an answer of the profile API
// (checked against it under Wine by the differential test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/profile.h"
#include "tests/common/profile_corpus.h"

namespace {

ByteString Value(const std::string& text, const char* section, const char* key,
                 const char* def = "DEF", size_t size = 65535) {
    IniProfile profile;
    profile.Parse(text.data(), text.size());
    return profile.GetValue(section, key, def, size);
}

std::vector<std::string> Keys(const std::string& text, const char* section, size_t size = 65535) {
    IniProfile profile;
    profile.Parse(text.data(), text.size());
    StringList names = profile.GetKeyNames(section, size);
    std::vector<std::string> result;
    for (size_t i = 0; i < names.Count(); ++i) result.push_back(names[i].c_str());
    return result;
}

}  // namespace

TEST(IniProfileTest, ValuesAnswerAsTheProfileApi) {
    struct Case {
        const char* what;
        std::string text;
        const char* section;
        const char* key;
        size_t size;
        const char* expected;
    } cases[] = {
        {"spaces around key and value", "[S]\r\n  Key \t=  v a l \t\r\n", "S", "key", 65535,
         "v a l"},
        {"names ignore ASCII case", "[sEcTiOn]\r\nkEy=1\r\n", "SECTION", "KEY", 65535, "1"},
        {"requested names are trimmed", "[S]\r\nk=1\r\n", " S ", "\tk ", 65535, "1"},
        {"absent key", "[S]\r\nk=1\r\n", "S", "x", 65535, "DEF"},
        {"absent section", "[S]\r\nk=1\r\n", "T", "k", 65535, "DEF"},
        {"present but empty", "[S]\r\nk=\r\n", "S", "k", 65535, ""},
        {"present, only spaces", "[S]\r\nk=   \r\n", "S", "k", 65535, ""},
        {"line without = shadows a later key", "[S]\r\nk\r\nK=2\r\n", "S", "k", 65535, "DEF"},
        {"duplicate key: first wins", "[S]\r\na=1\r\nA=2\r\n", "S", "a", 65535, "1"},
        {"duplicate section is never seen", "[S]\r\na=1\r\n[s]\r\nb=2\r\n", "S", "b", 65535, "DEF"},
        {"double quotes removed", "[S]\r\nk=\"a b\"\r\n", "S", "k", 65535, "a b"},
        {"single quotes removed", "[S]\r\nk='a'\r\n", "S", "k", 65535, "a"},
        {"quotes inside kept", "[S]\r\nk=install.exe,-u -p \"%s\"\r\n", "S", "k", 65535,
         "install.exe,-u -p \"%s\""},
        {"one quote kept", "[S]\r\nk=\"\r\n", "S", "k", 65535, "\""},
        {"empty quotes", "[S]\r\nk=\"\"\r\n", "S", "k", 65535, ""},
        {"unlike quotes kept", "[S]\r\nk='x\"\r\n", "S", "k", 65535, "'x\""},
        {"quoted text fitting the buffer", "[S]\r\nk=\"12345678\"\r\n", "S", "k", 10, "12345678"},
        {"quoted text one longer loses two", "[S]\r\nk=\"123456789\"\r\n", "S", "k", 10,
         "12345678"},
        {"quoted text longer still is cut", "[S]\r\nk=\"1234567890\"\r\n", "S", "k", 10,
         "123456789"},
        {"cut to size - 1", "[S]\r\nk=1234567890\r\n", "S", "k", 8, "1234567"},
        {"cut before a double-byte character", "[S]\r\nk=aあいう\r\n", "S", "k", 5, "aあ"},
        {"trail byte 5C in names", "[ソフト表示]\r\nソ=1\r\n表=2\r\n", "ソフト表示", "表", 65535,
         "2"},
        {"trail byte 41 is no letter A", "[S]\r\nア=1\r\n", "S", "ヂ", 65535, "DEF"},
        {"full-width letters keep their case", "[S]\r\nＡ=1\r\n", "S", "ａ", 65535, "DEF"},
        {"trail byte 5D ends no header", "[S]\r\n[ゼ\r\nk=1\r\n", "S", "k", 65535, "1"},
        {"trail byte 5D inside a header", "[ゾ]\r\nk=1\r\n", "ゾ", "k", 65535, "1"},
        {"full-width space is no space", "[S]\r\nk=\x81\x40v\x81\x40\r\n", "S", "k", 65535,
         "\x81\x40v\x81\x40"},
        {"LF line ends, no final newline", "[S]\nk=1\nlast=2", "S", "last", 65535, "2"},
        {"CR line ends", "[S]\rk=1\rm=2\r", "S", "m", 65535, "2"},
        {"Ctrl-Z is a space", "[S]\r\n\x1Ak=\x1Av\x1A\r\n", "S", "k", 65535, "v"},
        {"header with spaces and trailing text", "[ Sec ] tail\r\nk=1\r\n", "Sec", "k", 65535, "1"},
        {"header ends at the last bracket", "[a]b]\r\nk=1\r\n", "a]b", "k", 65535, "1"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(Value(c.text, c.section, c.key, "DEF", c.size).c_str(), c.expected) << c.what;
    }
}

TEST(IniProfileTest, DefaultsLoseTrailingBlanksAndQuotes) {
    EXPECT_STREQ(Value("", "S", "k", "d  ").c_str(), "d");
    EXPECT_STREQ(Value("", "S", "k", "   ").c_str(), " ");
    EXPECT_STREQ(Value("", "S", "k", "'q'").c_str(), "q");
    EXPECT_STREQ(Value("", "S", "k", nullptr).c_str(), "");
}

TEST(IniProfileTest, KeyListsAnswerAsTheProfileApi) {
    struct Case {
        const char* what;
        std::string text;
        const char* section;
        size_t size;
        std::vector<std::string> expected;
    } cases[] = {
        {"file order, duplicates kept, lines without = and comments left out",
         "[S]\r\nb=1\r\n; c=2\r\nA=3\r\nd\r\na=4\r\n#h=5\r\n",
         "S",
         65535,
         {"b", "A", "a", "#h"}},
        {"an empty name ends the list", "[S]\r\na=1\r\n=x\r\nb=2\r\n", "S", 65535, {"a"}},
        {"an empty first name gives none", "[S]\r\n=x\r\nb=2\r\n", "S", 65535, {}},
        {"absent section", "[S]\r\na=1\r\n", "T", 65535, {}},
        {"empty section", "[S]\r\n[T]\r\na=1\r\n", "S", 65535, {}},
        {"only the first of duplicate sections", "[S]\r\na=1\r\n[s]\r\nb=2\r\n", "s", 65535, {"a"}},
        {"section name is not trimmed", "[S]\r\na=1\r\n", " S", 65535, {}},
        {"a full buffer cuts the last name",
         "[S]\r\nabc=1\r\ndefgh=2\r\nijk=3\r\n",
         "S",
         10,
         {"abc", "defg"}},
        {"names with trail bytes", "[表]\r\nソ=1\r\n表示=2\r\n", "表", 65535, {"ソ", "表示"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Keys(c.text, c.section, c.size), c.expected) << c.what;
    }
}

TEST(IniProfileTest, LongValuesAndListsAreCutAtCharacterBoundaries) {
    for (const ProfileCorpusEntry& entry : ProfileCorpus()) {
        if (std::string(entry.name) == "long-values") {
            EXPECT_EQ(Value(entry.text, "L", "a300", "", 256).Length(), 255u);
            EXPECT_EQ(Value(entry.text, "L", "k300", "", 256).Length(), 254u);  // 127 kana
            EXPECT_EQ(Value(entry.text, "L", "k259", "", 260).Length(), 259u);
            EXPECT_EQ(Value(entry.text, "L", "huge", "", 65535).Length(), 65534u);
            EXPECT_EQ(Value(entry.text, "L", "hugekana", "", 65535).Length(), 65534u);
        }
        if (std::string(entry.name) == "long-key-list") {
            std::vector<std::string> keys = Keys(entry.text, "Source");
            ASSERT_GT(keys.size(), 100u);
            ASSERT_LT(keys.size(), 2800u);
            EXPECT_EQ(keys[0], "file0ソソソソソソソソ.dat");
            size_t bytes = 0;
            for (const std::string& key : keys) bytes += key.size() + 1;
            EXPECT_LE(bytes, 65535u);  // each name with its zero, inside the buffer
        }
    }
}

TEST(IniProfileTest, UnreadableFileGivesDefaults) {
    IniProfile profile;
    EXPECT_FALSE(profile.LoadFile("/nonexistent/install.inf"));
    EXPECT_STREQ(profile.GetValue("Setup", "ProgramName", "d", 260).c_str(), "d");
    EXPECT_TRUE(profile.GetKeyNames("Source", 65535).IsEmpty());

    ASSERT_TRUE(profile.LoadFile(INSTALLER_SOURCE_DIR "/sample/install.inf"));
    EXPECT_EQ(profile.GetKeyNames("Source", 65535).Count(), 6u);
}

TEST(IniProfileTest, ByteOrderMarksChooseTheEncoding) {
    struct Case {
        std::string start;
        ProfileEncoding encoding;
        size_t mark;
    } cases[] = {
        {"\xEF\xBB\xBF[S]", ProfileEncoding::kUtf8, 3},
        {"\xEF\xBB\xBF", ProfileEncoding::kUtf8, 3},
        {"\xFF\xFE[\0", ProfileEncoding::kUtf16Le, 2},
        {"\xFF\xFE", ProfileEncoding::kUtf16Le, 2},
        {"\xFE\xFF\0[", ProfileEncoding::kUtf16Be, 2},
        // Cut marks, marks not at the start, and a lead byte pair are text.
        {"\xEF\xBB", ProfileEncoding::kAnsi, 0},
        {"\xFF", ProfileEncoding::kAnsi, 0},
        {" \xFF\xFE", ProfileEncoding::kAnsi, 0},
        {"\xEF\xBF\xBB", ProfileEncoding::kAnsi, 0},
        {"", ProfileEncoding::kAnsi, 0},
    };
    for (const Case& c : cases) {
        size_t mark = 99;
        EXPECT_EQ(DetectProfileEncoding(c.start.data(), c.start.size(), &mark), c.encoding)
            << c.start;
        EXPECT_EQ(mark, c.mark) << c.start;
    }
}

namespace {

std::string g_converted;
ProfileEncoding g_convertedEncoding;

// Answers "[S]", a key "k" = "ソ" and a key "e" that stands in for another
// character, as a best fit does.
bool RecordingConverter(ProfileEncoding encoding, const char* text, size_t size, ByteString* out,
                        ByteString* inexact) {
    g_converted.assign(text, size);
    g_convertedEncoding = encoding;
    *out = "[S]\r\nk=\x83\x5C\r\ne=x\r\n";
    const char flags[] = "\0\0\0\0\0\0\0\0\0\0\1\0\0\0\0";
    inexact->Assign(flags, sizeof flags - 1);
    return true;
}

bool FailingConverter(ProfileEncoding, const char*, size_t, ByteString*, ByteString*) {
    return false;
}

}  // namespace

TEST(IniProfileTest, UnicodeTextIsParsedInTheConvertersAnswer) {
    const std::string utf16 = std::string("\xFF\xFE[\0S\0]\0", 8);
    IniProfile profile;
    profile.Parse(utf16.data(), utf16.size(), RecordingConverter);
    EXPECT_EQ(g_converted, utf16.substr(2));
    EXPECT_EQ(g_convertedEncoding, ProfileEncoding::kUtf16Le);
    EXPECT_STREQ(profile.GetValue("S", "k", "", 260).c_str(), "\x83\x5C");
    // The stand-in is listed as itself but matches no name asked for.
    StringList keys = profile.GetKeyNames("S", 260);
    ASSERT_EQ(keys.Count(), 2u);
    EXPECT_STREQ(keys[1].c_str(), "e");
    EXPECT_STREQ(profile.GetValue("S", "e", "absent", 260).c_str(), "absent");

    // Without a converter, or when it fails, ASCII still reads and every
    // other character is one "?".
    struct Case {
        std::string text;
        UnicodeToAnsi convert;
    } cases[] = {
        {std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE9\0\xBD\x30x\0", 20), nullptr},
        {std::string("\xFE\xFF\0[\0S\0]\0\n\0k\0=\0\xE9\x30\xBD\0x", 20), nullptr},
        {"\xEF\xBB\xBF[S]\nk=\xC3\xA9\xE3\x82\xBDx", nullptr},
        {"\xEF\xBB\xBF[S]\nk=\xC3\xA9\xE3\x82\xBDx", FailingConverter},
    };
    for (const Case& c : cases) {
        IniProfile fallback;
        fallback.Parse(c.text.data(), c.text.size(), c.convert);
        EXPECT_STREQ(fallback.GetValue("S", "k", "", 260).c_str(), "??x") << c.text;
    }
}

TEST(IniProfileTest, NameListSplittingStaysInsideTheBuffer) {
    // No terminating empty name at all: the split must stop at the size.
    const char full[6] = {'a', 'b', 0, 'c', 'd', 'e'};
    StringList names = SplitNameList(full, sizeof full);
    ASSERT_EQ(names.Count(), 2u);
    EXPECT_STREQ(names[0].c_str(), "ab");
    EXPECT_STREQ(names[1].c_str(), "cde");
    EXPECT_EQ(SplitNameList("\0x", 2).Count(), 0u);
}
