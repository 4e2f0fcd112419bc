#include <gtest/gtest.h>

#include "base/text.h"

// "ソ" is 0x83 0x5C and "表" 0x95 0x5C in code page 932: their trail byte is a
// backslash, which must never be taken for a separator.
static const char kSo[] = "\x83\x5C";
static const char kHyo[] = "\x95\x5C";

TEST(MultibyteSearch, TrailBytesAreNeverSeparators) {
    ByteString path("C:\\");
    path.Append(kSo);
    path.Append("\\x");
    path.Append(kHyo);
    // C : \ 83 5C \ x 95 5C
    EXPECT_EQ(MbFind(path.c_str(), '\\'), 2);
    EXPECT_EQ(MbFind(path.c_str(), '\\', 3), 5);
    EXPECT_EQ(MbFindLast(path.c_str(), '\\'), 5);
    EXPECT_EQ(MbCount(path.c_str(), '\\'), 2);
    EXPECT_EQ(MbFind(kSo, '\\'), -1);
    EXPECT_EQ(MbFindLast(kHyo, '\\'), -1);
    // A lead byte at the very end has no trail byte: the walk stops safely.
    EXPECT_EQ(MbFind("a\x83", '\\'), -1);
}

TEST(MultibyteSearch, TextSearchStartsOnlyAtCharacterBoundaries) {
    ByteString text(kSo);
    text.Append("uninst.exe");
    EXPECT_EQ(MbFindText(text.c_str(), "uninst.exe"), 2);
    // The trail byte 0x5C followed by "u" must not match "\u".
    EXPECT_EQ(MbFindText(text.c_str(), "\\u"), -1);
    EXPECT_EQ(MbFindText("abcabc", "abc", 1), 3);
    EXPECT_EQ(MbFindText("abc", "x"), -1);
}

TEST(MultibyteCase, LowersAsciiOnly) {
    ByteString text("UNINST.EXE");
    text.Append("\x82\x60");  // full-width "Ａ" stays
    ByteString lowered = MbToLower(text.c_str());
    EXPECT_EQ(lowered, ByteString("uninst.exe\x82\x60"));
    // 0x8A 0x41 ("蛙" family lead byte with an "A" trail byte) keeps its trail.
    EXPECT_EQ(MbToLower("\x8A\x41Z"), ByteString("\x8A\x41z"));
}

TEST(Trim, RemovesAsciiWhiteSpaceButNeverATrailByte) {
    struct Case {
        const char* input;
        const char* expected;
    } cases[] = {
        {"  C:\\dir  ", "C:\\dir"},
        {"\t\r\n", ""},
        {"", ""},
        {" \x83\x20 ", "\x83\x20"},  // 0x20 as a trail byte is part of the character
        {"x", "x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimSpaces(c.input), ByteString(c.expected)) << c.input;
    }
}

TEST(ByteStringTest, AppendAssignAndSlicesStayInBounds) {
    ByteString s("abc");
    s.Append(s.c_str() + 1);  // appending from itself
    EXPECT_EQ(s, ByteString("abcbc"));
    s = s.c_str() + 2;  // assigning from itself
    EXPECT_EQ(s, ByteString("cbc"));
    EXPECT_EQ(s.Left(100), ByteString("cbc"));
    EXPECT_EQ(s.Mid(5), ByteString(""));
    EXPECT_EQ(s.Mid(1, 100), ByteString("bc"));
    s.Truncate(1);
    EXPECT_EQ(s.Last(), 'c');
    ByteString number;
    number.AppendNumber(-2147483647LL - 1);
    EXPECT_EQ(number, ByteString("-2147483648"));
}

// Strings without a buffer of their own share one zero byte: none of them
// may free it, grow it in place or leave text in it (AddressSanitizer
// catches the first two).
TEST(ByteStringTest, EmptyStringsWithoutABufferStayEmptyAndUsable) {
    ByteString fresh;
    EXPECT_STREQ(fresh.c_str(), "");
    fresh.Clear();
    fresh.Truncate(0);
    fresh.Assign("", 0);

    ByteString source("text");
    ByteString taken(static_cast<ByteString&&>(source));
    EXPECT_STREQ(source.c_str(), "");
    source.Append("again");
    EXPECT_EQ(source, ByteString("again"));
    source = static_cast<ByteString&&>(fresh);
    EXPECT_TRUE(fresh.IsEmpty());
    fresh = fresh.c_str();
    fresh.Append(ByteString());
    fresh.Append(fresh.c_str());
    fresh.Append('a');
    EXPECT_EQ(fresh, ByteString("a"));
    fresh = ByteString();
    EXPECT_STREQ(ByteString().c_str(), "");
    EXPECT_EQ(taken, ByteString("text"));

    StringList list;
    list.Add(ByteString());
    list.Add("b");
    EXPECT_STREQ(list[0].c_str(), "");
    EXPECT_EQ(list.IndexOf(""), 0);
}

TEST(ByteStringTest, NumbersCoverTheWhole64BitRange) {
    struct Case {
        long long value;
        const char* text;
    };
    const Case cases[] = {
        {0, "0"},
        {7, "7"},
        {-10, "-10"},
        {4294967295LL, "4294967295"},  // the last value of a single 32-bit word
        {4294967296LL, "4294967296"},
        {-4294967297LL, "-4294967297"},
        {1000000000000000000LL, "1000000000000000000"},
        {9223372036854775807LL, "9223372036854775807"},
        {-9223372036854775807LL - 1, "-9223372036854775808"},
    };
    for (const Case& c : cases) {
        ByteString number("n=");
        number.AppendNumber(c.value);
        ByteString expected("n=");
        expected.Append(c.text);
        EXPECT_EQ(number, expected);
    }
}

// Against the host's own 64-bit division, for values whose 16-bit digits
// each bring a remainder to carry and for the divisors at both ends.
TEST(DivideBySmallTest, MatchesA64BitDivision) {
    const uint64_t values[] = {0,
                               1,
                               65535,
                               65536,
                               0xFFFFFFFFull,
                               0x100000000ull,
                               0x123456789ABCDEFull,
                               0xFFFFFFFFFFFFFFFFull,
                               0x8000000000000000ull,
                               0xFFFF0000FFFF0000ull};
    const uint32_t divisors[] = {1, 2, 3, 7, 10, 100, 255, 1000, 40961, 65535};
    for (uint64_t value : values) {
        for (uint32_t divisor : divisors) {
            uint32_t remainder = 0xDEADBEEF;
            EXPECT_EQ(DivideBySmall(value, divisor, &remainder), value / divisor)
                << value << " / " << divisor;
            EXPECT_EQ(remainder, value % divisor) << value << " % " << divisor;
        }
    }
}

TEST(ByteStringTest, ListsCopyDeeply) {
    StringList a;
    for (int i = 0; i < 100; ++i) {
        ByteString item("item");
        item.AppendNumber(i);
        a.Add(item);
    }
    StringList b = a;
    a[0] = "changed";
    EXPECT_EQ(b[0], ByteString("item0"));
    EXPECT_EQ(b[99], ByteString("item99"));
    EXPECT_EQ(b.IndexOf("item42"), 42);
    EXPECT_EQ(b.IndexOf("nothing"), -1);
}

TEST(ParseLongTest, FollowsAtolAndClampsOverflow) {
    struct Case {
        const char* input;
        int32_t expected;
    } cases[] = {
        {"1326862", 1326862}, {"  -12x", -12}, {"+7", 7},          {"abc", 0},
        {"", 0},              {"99999999999", 2147483647},         {"-99999999999", -2147483647 - 1},
        {"\t42", 42},         {"- 1", 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseLong(c.input), c.expected) << c.input;
}

TEST(ParseByteCountTest, ReadsTheUnsignedRangeAsTheSystemsAtolWrapsIt) {
    struct Case {
        const char* input;
        uint32_t expected;
    } cases[] = {
        {"1326862", 1326862u},
        {"2147483647", 2147483647u},
        {"2147483648", 2147483648u},
        {" 3000000000 bytes", 3000000000u},
        {"4294967295", 4294967295u},
        // Written as the negative number that atol gives for the size.
        {"-1294967296", 3000000000u},
        {"-1", 4294967295u},
        {"-12abc", 4294967284u},
        // Beyond 32 bits the count saturates rather than wrapping to little.
        {"4294967296", 4294967295u},
        {"5000000000", 4294967295u},
        {"99999999999999999999999", 4294967295u},
        {"", 0u},
        {"abc", 0u},
        {"+0", 0u},
        {"- 1", 0u},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseByteCount(c.input), c.expected) << c.input;
}

TEST(CopyToBufferTest, RefusesWhatDoesNotFit) {
    char buffer[4];
    EXPECT_TRUE(CopyToBuffer(buffer, sizeof buffer, "abc"));
    EXPECT_STREQ(buffer, "abc");
    EXPECT_FALSE(CopyToBuffer(buffer, sizeof buffer, "abcd"));
    EXPECT_STREQ(buffer, "");
}
