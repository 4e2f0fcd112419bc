// Small programs that e2e_tests.exe runs as a copy of itself
// ("e2e_tests.exe --helper MODE ..."), so the driver can be tested against
// windows whose texts, buttons and pixels are known.
#pragma once

#include <string>

// Full path of the running e2e_tests.exe (code page 932).
std::string SelfPath();

// Runs helper MODE with its arguments; returns the process exit code.
//   msgbox STYLE      MessageBoxA with kHelperBoxText; exits with the answer
//   dialog OUTFILE    dialog kHelperDialogTitle; OK writes the edit's text
//                     (code page 932) to OUTFILE; exits with the dialog result
//   paint             popup at (100,100), 200x100: left half red, right half
//                     blue; WM_CLOSE ends it with kHelperPaintExit
//   spawn STYLE       starts "msgbox STYLE" and ends at once (exit 0)
//   hang              sleeps forever without a window
//   chain EVENT       starts "relay EVENT" and ends at once (exit 0)
//   relay EVENT       starts "hang", then ends when the named event is set
int RunHelper(int argc, char** argv);

// What the helpers show, in UTF-8 (the helpers show their code page 932 form).
// "表" and "ソ" end in the byte 0x5C in code page 932.
extern const char kHelperBoxTextUtf8[];
extern const char kHelperBoxTitleUtf8[];
extern const char kHelperDialogTitleUtf8[];
extern const char kHelperDialogLabelUtf8[];
extern const char kHelperPaintTitleUtf8[];
extern const char kHelperRichTextUtf8[];

constexpr int kHelperLabelId = 100;
constexpr int kHelperEditId = 101;
constexpr int kHelperDisabledId = 102;
constexpr int kHelperHiddenId = 103;
constexpr int kHelperRichEditId = 104;  // a RichEdit20A holding kHelperRichTextUtf8
constexpr int kHelperPaintExit = 42;
