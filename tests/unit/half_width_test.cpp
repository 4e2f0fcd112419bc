#include <gtest/gtest.h>

#include <string>

#include "base/half_width.h"

// Literals below are code page 932 bytes (the sources are compiled with
// -fexec-charset=CP932).

static std::string Half(const char* text) { return ToHalfWidthCp932(text).c_str(); }

TEST(HalfWidth, FullWidthAsciiFormsBecomeAsciiInOrder) {
    // Code page 932 writes " ' ` \ ~ in full width as ” ’ ‘ ￥ ￣.
    const char* forms =
        "　！”＃＄％＆’（）＊＋，－．／０１２３４５６７８９：；＜＝＞？＠"
        "ＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ［￥］＾＿‘"
        "ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚ｛｜｝￣";
    std::string ascii;
    for (char c = 0x20; c < 0x7F; ++c) ascii += c;
    ASSERT_EQ(strlen(forms), 2 * ascii.size());
    EXPECT_EQ(Half(forms), ascii);
}

TEST(HalfWidth, KanaBecomeHalfWidthKatakana) {
    struct Case {
        const char* input;
        const char* expected;
    } cases[] = {
        {"ァアィイゥウェエォオカガキギクグケゲコゴサザシジスズセゼソゾタダチヂッツヅテデトド",
         "ｧｱｨｲｩｳｪｴｫｵｶｶｷｷｸｸｹｹｺｺｻｻｼｼｽｽｾｾｿｿﾀﾀﾁﾁｯﾂﾂﾃﾃﾄﾄ"},
        {"ナニヌネノハバパヒビピフブプヘベペホボポマミムメモャヤュユョヨラリルレロヮワヰヱヲンヴヵヶ",
         "ﾅﾆﾇﾈﾉﾊﾊﾊﾋﾋﾋﾌﾌﾌﾍﾍﾍﾎﾎﾎﾏﾐﾑﾒﾓｬﾔｭﾕｮﾖﾗﾘﾙﾚﾛﾜﾜｲｴｦﾝｳｶｹ"},
        {"ぁあぃいぅうぇえぉおかがきぎくぐけげこごさざしじすずせぜそぞただちぢっつづてでとど",
         "ｧｱｨｲｩｳｪｴｫｵｶｶｷｷｸｸｹｹｺｺｻｻｼｼｽｽｾｾｿｿﾀﾀﾁﾁｯﾂﾂﾃﾃﾄﾄ"},
        {"なにぬねのはばぱひびぴふぶぷへべぺほぼぽまみむめもゃやゅゆょよらりるれろゎわゐゑをん",
         "ﾅﾆﾇﾈﾉﾊﾊﾊﾋﾋﾋﾌﾌﾌﾍﾍﾍﾎﾎﾎﾏﾐﾑﾒﾓｬﾔｭﾕｮﾖﾗﾘﾙﾚﾛﾜﾜｲｴｦﾝ"},
        // The letters without a half-width form of their own.
        {"ヮゎヰゐヱゑヴヵヶ", "ﾜﾜｲｲｴｴｳｶｹ"},
        {"。「」、・ー゛゜", "｡｢｣､･ｰﾞﾟ"},
    };
    for (const Case& c : cases) EXPECT_EQ(Half(c.input), c.expected) << c.expected;
}

TEST(HalfWidth, OtherCharactersAreCopiedUnchanged) {
    struct Case {
        const char* input;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"abc \\ ~", "abc \\ ~"},
        {"漢字", "漢字"},
        {"表示", "表示"},  // 0x95 0x5C: a trail byte that is a backslash
        {"ヽヾゝゞ〜～＼｀※", "ヽヾゝゞ〜～＼｀※"},
        {"ｱｲｳﾞ", "ｱｲｳﾞ"},  // already half width
        {"ソフト", "ｿﾌﾄ"},   // ソ is 0x83 0x5C
        {"オルベロ　サンプル", "ｵﾙﾍﾛ ｻﾝﾌﾙ"},  // the marks are dropped
        {"Ｃ：￥製品￥ソ表.exe", "C:\\製品\\ｿ表.exe"},
        {"ａ漢ｂ字ｃ", "a漢b字c"},
    };
    for (const Case& c : cases) EXPECT_EQ(Half(c.input), c.expected) << c.input;
}

TEST(HalfWidth, LeadByteCutOffAtTheEndIsKept) {
    EXPECT_EQ(Half("ア\x83"), "ｱ\x83");
    EXPECT_EQ(Half("\x82"), "\x82");
    // A lead byte with an ASCII trail byte forms one character: 0x83 0x41 is
    // ア, while the unassigned 0x88 0x41 is copied whole.
    EXPECT_EQ(Half("\x83\x41z"), "ｱz");
    EXPECT_EQ(Half("\x88\x41z"), "\x88\x41z");
}

// The forms above are all there are: 95 ASCII forms, 8 marks, 83 hiragana
// and 86 katakana. Every other double-byte code, assigned or not, is copied.
TEST(HalfWidth, NoOtherDoubleByteCodeChanges) {
    int changed = 0;
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsLeadByte932(static_cast<unsigned char>(lead))) continue;
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const char code[] = {static_cast<char>(lead), static_cast<char>(trail), 0};
            std::string half = Half(code);
            if (half == code) continue;
            ++changed;
            EXPECT_EQ(half.size(), 1u) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_EQ(changed, 95 + 8 + 83 + 86);
}
