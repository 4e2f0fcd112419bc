// A setup script that uses every rule of the script reader at once: odd
// spacing, quotes, every [Source] code, gaps in the numbered keys, a numbered
// group with more keys than it has slots, and trail bytes 0x5C in names.
#pragma once

#include <string>

inline std::string TrickyScript() {
    std::string text =
        "; written by hand\r\n"
        "[Setup]\r\n"
        "  ProgramName =  \"ソフト表示\"  \r\n"
        "InstallPath=Program Files\\ソ\\表\r\n"
        "UnInstallerProgram=uninst.exe\r\n"
        "DstNeedSpace= -12abc\r\n"
        "IconOnDesktop0=a.exe,A\r\n"
        "IconOnDesktop1=b.exe,B,b.ico\r\n"
        "IconOnDesktop3=c.exe,C\r\n"
        "Readme='readme.txt'\r\n"
        "InstDispProgramMenu=x\r\n"
        "ProgramFolder_Group=ソ\\表\r\n"
        "ProgramFolder_Group2=Two\r\n"
        "RegCreateDirectory=\r\n"
        "[Source]\r\n"
        "a.dll=7\r\n"
        "b.txt=5\r\n"
        "c.txt=70\r\n"
        "d.txt=N\r\n"
        "e.txt=9,other.tx_\r\n"
        "f.txt=0\r\n"
        "g.txt=\r\n"
        "h.txt\r\n"
        "[Group]\r\n"
        "表=ソ.exe,\"%s\\表\"\r\n"
        "NoComma=x.exe\r\n"
        "[Group1]\r\n";
    for (int i = 0; i < 60; ++i) {
        text += "item" + std::to_string(i) + "=t" + std::to_string(i) + ".exe,-" +
                std::to_string(i) + "\r\n";
    }
    text +=
        "[Group2]\r\n"
        "k=v,w\r\n"
        "[UnInstall]\r\n"
        "HCU0=a\r\n"
        "HCU2=b\r\n"
        "HCU255=c\r\n"
        "HLM7=m\r\n"
        "[Group4]\r\n"
        "unreached=1\r\n";
    return text;
}
