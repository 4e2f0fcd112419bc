#include "tests/e2e/helper.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

// The narrow literals below become code page 932 through the compiler; the
// UTF-8 forms that the tests compare with are written separately, so a test
// checks the driver's conversion against the compiler's.
const char kHelperBoxTextUtf8[] = u8"表示テスト：ソフト\n二行目";
const char kHelperBoxTitleUtf8[] = u8"ヘルパー 表示";
const char kHelperDialogTitleUtf8[] = u8"入力ダイアログ";
const char kHelperDialogLabelUtf8[] = u8"名前を入力してください：";
const char kHelperPaintTitleUtf8[] = u8"ヘルパー描画";
const char kHelperRichTextUtf8[] = u8"利用規約\r\n第1条（目的）ソフト表示";

namespace {

const char kBoxText[] = "表示テスト：ソフト\n二行目";
const char kBoxTitle[] = "ヘルパー 表示";

// An in-memory dialog template: header, then one item per control, each
// aligned to four bytes; strings are UTF-16.
class DialogTemplate {
public:
    DialogTemplate(const wchar_t* title, short cx, short cy) {
        Dword(DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE);
        Dword(0);
        countAt_ = words_.size();
        Word(0);  // item count, filled in by Add
        Word(10);
        Word(10);
        Word(cx);
        Word(cy);
        Word(0);  // no menu
        Word(0);  // standard class
        Text(title);
        Word(9);
        Text(L"MS UI Gothic");
    }
    void Add(WORD classAtom, int id, const wchar_t* text, DWORD style, short x, short y, short cx,
             short cy) {
        Item(nullptr, classAtom, id, text, style, x, y, cx, cy);
    }
    void Add(const wchar_t* className, int id, const wchar_t* text, DWORD style, short x, short y,
             short cx, short cy) {
        Item(className, 0, id, text, style, x, y, cx, cy);
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
    void Item(const wchar_t* className, WORD classAtom, int id, const wchar_t* text, DWORD style,
              short x, short y, short cx, short cy) {
        if (words_.size() % 2) Word(0);
        Dword(style | WS_CHILD);
        Dword(0);
        Word(x);
        Word(y);
        Word(cx);
        Word(cy);
        Word((WORD)id);
        if (className) {
            Text(className);
        } else {
            Word(0xFFFF);
            Word(classAtom);
        }
        Text(text);
        Word(0);
        ++words_[countAt_];
    }
    void Word(WORD w) { words_.push_back(w); }
    void Dword(DWORD d) {
        Word(LOWORD(d));
        Word(HIWORD(d));
    }
    void Text(const wchar_t* text) {
        for (; *text; ++text) Word(*text);
        Word(0);
    }
    std::vector<WORD> words_;
    size_t countAt_ = 0;
};

constexpr WORD kButton = 0x0080;
constexpr WORD kEdit = 0x0081;
constexpr WORD kStatic = 0x0082;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    static const char* outFile = nullptr;
    switch (message) {
        case WM_INITDIALOG:
            outFile = reinterpret_cast<const char*>(lParam);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                char text[512] = "";
                GetDlgItemTextA(dialog, kHelperEditId, text, sizeof(text));
                if (FILE* out = fopen(outFile, "wb")) {
                    fwrite(text, 1, strlen(text), out);
                    fclose(out);
                }
                EndDialog(dialog, IDOK);
            } else if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
            }
            return TRUE;
    }
    return FALSE;
}

int ShowDialog(const char* outFile) {
    LoadLibraryA("riched20.dll");
    DialogTemplate t(L"入力ダイアログ", 200, 130);
    t.Add(kStatic, kHelperLabelId, L"名前を入力してください：", WS_VISIBLE | SS_LEFT, 7, 7, 180,
          10);
    t.Add(kEdit, kHelperEditId, L"", WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 7, 20,
          180, 14);
    t.Add(kButton, IDOK, L"OK", WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 30, 65, 50, 14);
    t.Add(kButton, IDCANCEL, L"キャンセル", WS_VISIBLE | WS_TABSTOP, 90, 65, 50, 14);
    t.Add(kButton, kHelperDisabledId, L"無効", WS_VISIBLE | WS_DISABLED, 150, 65, 40, 14);
    t.Add(kStatic, kHelperHiddenId, L"隠し", SS_LEFT, 7, 40, 50, 10);
    t.Add(L"RichEdit20A", kHelperRichEditId, L"利用規約\r\n第1条（目的）ソフト表示",
          WS_VISIBLE | WS_BORDER | ES_MULTILINE, 7, 85, 180, 30);
    return (int)DialogBoxIndirectParamA(GetModuleHandleA(nullptr), t.Get(), nullptr, DialogProc,
                                        reinterpret_cast<LPARAM>(outFile));
}

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT rect;
            GetClientRect(window, &rect);
            RECT left = rect, right = rect;
            left.right = right.left = rect.right / 2;
            HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
            HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
            FillRect(dc, &left, red);
            FillRect(dc, &right, blue);
            DeleteObject(red);
            DeleteObject(blue);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(kHelperPaintExit);
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int ShowPaintWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PaintProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "E2EHelperPaint";
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    RegisterClassA(&windowClass);
    CreateWindowExA(0, "E2EHelperPaint", "ヘルパー描画", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100,
                    nullptr, nullptr, windowClass.hInstance, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return (int)msg.wParam;
}

// Starts "--helper ARGS" and closes its handles at once, so that nothing of
// this process keeps the child's id reserved.
bool StartHelper(const std::string& args) {
    std::string commandLine = "\"" + SelfPath() + "\" --helper " + args;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}

// Starts "hang", then ends once the event is set (or after a minute).
int Relay(const char* event) {
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, event);
    if (!release) return 3;
    bool started = StartHelper("hang");
    WaitForSingleObject(release, 60000);
    CloseHandle(release);
    return started ? 0 : 1;
}

}  // namespace

std::string SelfPath() {
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof(path));
    return path;
}

int RunHelper(int argc, char** argv) {
    const char* mode = argv[0];
    if (strcmp(mode, "msgbox") == 0 && argc >= 2)
        return MessageBoxA(nullptr, kBoxText, kBoxTitle, (UINT)strtoul(argv[1], nullptr, 0));
    if (strcmp(mode, "dialog") == 0 && argc >= 2) return ShowDialog(argv[1]);
    if (strcmp(mode, "paint") == 0) return ShowPaintWindow();
    if (strcmp(mode, "spawn") == 0 && argc >= 2)
        return StartHelper(std::string("msgbox ") + argv[1]) ? 0 : 1;
    if (strcmp(mode, "chain") == 0 && argc >= 2)
        return StartHelper(std::string("relay ") + argv[1]) ? 0 : 1;
    if (strcmp(mode, "relay") == 0 && argc >= 2) return Relay(argv[1]);
    if (strcmp(mode, "hang") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    fprintf(stderr, "unknown helper mode %s\n", mode);
    return 2;
}
