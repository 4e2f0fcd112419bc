// Profile files that exercise the corners of the profile API's parsing, shared
// by the native tests of the portable reader and the differential test that
// compares it with the real API. Text is code page 932 (the test sources are
// compiled with the CP932 execution character set); "ソ" (83 5C), "表" (95 5C),
// "ゼ" (83 5B), "ゾ" (83 5D) and "ア" (83 41) carry trail bytes that look like
// "\", "[", "]" and "A".
#pragma once

#include <string>
#include <vector>

struct ProfileCorpusEntry {
    const char* name;
    std::string text;
};

inline std::string RepeatText(const std::string& piece, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += piece;
    return text;
}

inline std::vector<ProfileCorpusEntry> ProfileCorpus() {
    std::vector<ProfileCorpusEntry> corpus;
    corpus.push_back({"spacing",
                      "[Setup]\r\n"
                      "  ProgramName  =   オルベロ   \r\n"
                      "\tInstallPath\t=\tProgram Files\\Quorvane\t\r\n"
                      "Empty=\r\n"
                      "Blank=   \r\n"
                      "NoEquals\r\n"
                      "noequals=shadowed by the line above\r\n"
                      "Inner = a  b = c\r\n"
                      "   \r\n"
                      "\x81\x40Wide=full-width space is no space\x81\x40\r\n"});
    corpus.push_back({"quotes",
                      "[Q]\r\n"
                      "double=\"a b\"\r\n"
                      "single='single'\r\n"
                      "spaced=  \" x \"  \r\n"
                      "unbalanced=\"open\r\n"
                      "mixed='x\"\r\n"
                      "lone=\"\r\n"
                      "pair=\"\"\r\n"
                      "args=install.exe,-u -p \"%s\"\r\n"
                      "inner=\"a\" and \"b\"\r\n"
                      "q7=\"1234567\"\r\n"
                      "q8=\"12345678\"\r\n"
                      "q9=\"123456789\"\r\n"
                      "q10=\"1234567890\"\r\n"
                      "kana=\"あいうえおかきくけ\"\r\n"});
    corpus.push_back({"comments",
                      "; a comment before any section\r\n"
                      "orphan=before the first header\r\n"
                      "[Source]\r\n"
                      "; Orbelo.exe=1\r\n"
                      "   ;indented=1\r\n"
                      "real=1\r\n"
                      "#hash=1\r\n"
                      "after;semicolon=2\r\n"});
    corpus.push_back({"duplicates",
                      "[Source]\r\n"
                      "A=1\r\n"
                      "b=2\r\n"
                      "a=3\r\n"
                      "[Other]\r\n"
                      "x=1\r\n"
                      "[SOURCE]\r\n"
                      "c=4\r\n"
                      "A=5\r\n"
                      "[Source]\r\n"
                      "d=6\r\n"});
    corpus.push_back({"cp932",
                      "[ソフト表示]\r\n"
                      "ソ=so\r\n"
                      "表示=hyouji\r\n"
                      "ア=a\r\n"
                      "Ａ=full-width A\r\n"
                      "ゼ=ze\r\n"
                      "[ゾ]\r\n"
                      "z=in zo\r\n"
                      "[ゼ\r\n"
                      "y=not a header above\r\n"
                      "[表]\r\n"
                      "v=\\path\\ソ\\表\r\n"});
    corpus.push_back({"lf-no-final-newline",
                      "[Setup]\n"
                      "ProgramName=lf\n"
                      "\n"
                      "[Source]\n"
                      "a.txt=1\n"
                      "b.txt=0"});
    corpus.push_back({"cr-only", "[Setup]\rProgramName=cr\rRun=1\r[Source]\rx=1\r"});
    corpus.push_back({"mixed-ends", "[S]\r\n\r\nk1=v1\n\rk2=v2\r\r\nk3=v3\n\n"});
    corpus.push_back({"ctrl-z",
                      "[S]\r\n"
                      "\x1Ak=\x1Av\x1A\r\n"
                      "\x1A\r\n"
                      "last=1\x1A"});
    corpus.push_back({"empty-names",
                      "[E]\r\n"
                      "=first\r\n"
                      "=second\r\n"
                      "k=1\r\n"
                      "=third\r\n"
                      "[]\r\n"
                      "nameless=1\r\n"});
    corpus.push_back({"headers",
                      "[Sec] trailing text\r\n"
                      "a=1\r\n"
                      "[ Spaced ]\r\n"
                      "b=2\r\n"
                      "[a]b]\r\n"
                      "c=3\r\n"
                      "[Open\r\n"
                      "d=4\r\n"
                      "  [Indented]  \r\n"
                      "e=5\r\n"});
    corpus.push_back({"no-sections", "k=1\r\nother=2"});
    corpus.push_back({"empty", ""});

    // Values around and beyond the buffer sizes of the script reader.
    std::string longText = "[L]\r\n";
    longText += "a255=" + std::string(255, 'a') + "\r\n";
    longText += "a256=" + std::string(256, 'b') + "\r\n";
    longText += "a259=" + std::string(259, 'c') + "\r\n";
    longText += "a260=" + std::string(260, 'd') + "\r\n";
    longText += "a300=" + std::string(300, 'e') + "\r\n";
    longText += "k255=x" + RepeatText("あ", 127) + "\r\n";  // 255 bytes
    longText += "k256=" + RepeatText("い", 128) + "\r\n";
    longText += "k259=x" + RepeatText("う", 129) + "\r\n";
    longText += "k300=" + RepeatText("え", 150) + "\r\n";
    longText += "q256=\"" + std::string(255, 'f') + "\"\r\n";
    longText += "huge=" + std::string(70000, 'g') + "\r\n";
    longText += "hugekana=" + RepeatText("お", 33000) + "\r\n";
    corpus.push_back({"long-values", longText});

    // A key list longer than 65535 bytes: the list is cut inside a name.
    std::string listText = "[Source]\r\n";
    for (int i = 0; i < 2800; ++i) {
        listText += "file" + std::to_string(i) + RepeatText("ソ", 8) + ".dat=1\r\n";
    }
    corpus.push_back({"long-key-list", listText});
    return corpus;
}

// Section names worth asking every corpus file for: present, in other case,
// with spaces, with trail bytes, absent.
inline std::vector<std::string> ProfileCorpusSections() {
    return {"Setup", "setup",  "SETUP",   " Setup ", "Q",          "Source",   "source", "Other",
            "S",     "E",      "",        "L",       "ソフト表示", "ゾ",       "ゼ",     "表",
            "Sec",   "Spaced", " Spaced", "a]b",     "Open",       "Indented", "Group1", "Missing"};
}

// Key names asked in every section besides the ones the section lists.
inline std::vector<std::string> ProfileCorpusKeys() {
    return {"ProgramName",
            "PROGRAMNAME",
            " ProgramName ",
            "NoEquals",
            "noequals",
            "Empty",
            "Missing",
            "A",
            "a",
            "ソ",
            "表",
            "ア",
            "ヂ",
            "Ａ",
            "ａ",
            "ゼ",
            "",
            ";indented",
            "; Orbelo.exe",
            "#hash",
            "orphan",
            "k",
            "nameless",
            "\x81\x40Wide",
            "Wide"};
}
