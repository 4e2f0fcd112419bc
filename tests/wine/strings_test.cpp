// The program's resources as the running program sees them under code page
// 932: the message catalogue byte for byte, and the dialog templates in
// dialog units.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "base/messages_win.h"
#include "res/resource.h"

namespace {

struct CatalogueEntry {
    UINT id;
    const char* text;  // code page 932 through the compiler's execution charset
};

const CatalogueEntry kCatalogue[] = {
    {1, "タイマ資源がありまあせん。他のアプリケーションを停止して再度インストールを試みてください。"},
    {2, "%sのインストールを終了します。\n必要であれば、再度インストールを行ってください。"},
    {3, "このボリュームでは容量が不足です。他のボリュームを指定するか、ファイルを消して空きを作ってください。"},
    {4, "絶対パス名（ボリューム名：￥ｘｘｘの形）で指定してください。"},
    {5, "使えるボリューム名が指定されていません。"},
    {6, "この名前のディレクトリは作成できません。"},
    {7, "ファイル（%s）のコピーができません。"},
    {8, "%sのインストールを終了します。"},
    {9, "ファイル(%s)の削除ができません。"},
    {10, "%sのインストール中にエラーが発生したため、インストールを中断しました。\n必要であれば、再度インストールを行ってください。"},
    {11, "インストール情報ファイルの読み込みができません。\n処理を中止します。"},
    {12, "%sは既にインストールされています。\nインストールを中止します。"},
    {13, "%sはインストールされていません。\nインストールを中止します。"},
    {14, "%sをインストールするためのファイルが見つかりません。\nインストールを中止します。"},
    {15, "アンインストール情報ファイルの読み込みができません。\nアンインストールを中止します。"},
    {16, "%sのアンインストールを終了します。"},
    {17, "%s をアンインストールしますか？"},
    {18, "%sをアンインストールしています。しばらくお待ちください．．．"},
    {19, "プログラム登録項目の削除"},
    {20, "プログラムファイルの削除"},
    {21, "プログラムディレクトリの削除"},
    {22, "プログラムフォルダの削除"},
    {23, "以下のファイル及び、ディレクトリは削除できませんでした。\n個別に削除する必要があります。"},
    {24, "%sのアンインストールが完了しました。\r\n［完了］ボタンをクリックしてください。"},
    {25, "ディレクトリ指定に誤りがあります。"},
    {26, "%sのインストーラがインストールしたもの以外のファイルまたはディレクトリが見つかりました。\n確認してください。"},
    {27, "このプログラムの動作には管理者権限が必要です。\n管理者権限をもつユーザでログインしてから実行してください。\n%sを中断します。"},
    {28, "%sのインストールが完了しました。\n設定を有効にするには再起動が必要です。\n再起動しますか？\n\nCD-ROMやフロッピーディスクをドライブから外してから再起動してください。"},
    {29, "%sのアンインストールが完了しました。\n再起動が必要です。\n再起動しますか？\n\nCD-ROMやフロッピーディスクをドライブから外してから再起動してください。"},
    {30, "再起動後に%sを起動してください。"},
    {31, "再起動できませんでした。\n手動で再起動してください。"},
    {32, "インストール先に既にファイルが存在します。\nアンインストールを行った後、インストールを行ってください。"},
    {33, "%sを動作させるためにはWindows2000又はWindowsXP又はWindows VISTAが必要です。\nインストールを中止します。"},
    {34, "LANカードが存在しないか、正しくインストールされていません。\nLANカードのインストール状況を確認してください。"},
    {35, "WindowsXP/VISTAのインターネット接続ファイヤウォールが有効になっているネットワークが存在します。\n無効にしてからインストールを行ってください。"},
    {36, "プロキシ設定が有効になっています。\nプロキシ設定を無効にしてから、インストールを行ってください。"},
    {37, "作業用ファイルの作成に失敗しました。\n詳細コード:%d\nインストールを中止します。"},
    {38, "%sを動作させるためにはWindowsXP又はWindows VISTAが必要です。\nインストールを中止します。"},
    {39, "キャッシュデータを削除しますか？"},
    {40, "以前のVelmaroのキャッシュが残っています。\n以前のキャッシュを利用しますか？"},
    {41, "ユニバーサル プラグアンドプレイ をインストールしますか？"},
    {42, "%sが起動中です。\n停止してからアンインストールを行なってください。"},
    {43, "%sは既にインストールされています。\nインストールを行う前に、アンインストールを行いますか？\n\n［はい］をクリックするとアンインストーラを起動します。\n［いいえ］をクリックするとインストーラを終了します。"},
    {44, "%sのアンインストーラを起動できませんでした。\n\nプログラムをアンインストールしてから、再度インストールを行ってください。\nインストールを中止します。"},
    {45, "%s をアンインストールしますか？\n\n【ご注意】\nアンインストールを行うとRosquellのキャッシュデータファイルも消去されます。\nまた、インターネット接続の設定の最適化で設定した内容も全て最適化前の状態に戻ります。"},
    {46, "同じバージョンの %s が既にインストールされています。\n\n再インストールを行う場合はアンインストールしてから再度インストールしてください。\n%s のインストールを終了します。"},
    {47, "新しいバージョンの %s が既にインストールされています。\n\n再インストールを行う場合はアンインストールしてから再度インストールしてください。\n%s のインストールを終了します。"},
    {48, "古いバージョンの %s が既にインストールされています。\n\n新しいバージョンを上書きしますか？"},
    {49, "このプログラムの動作には Windows 95/98/Me または\nWindows NT4.0/2000/XP/VISTAが必要です。\n処理を中断します。"},
    {50, "このプログラムの動作には Windows 98/Me または\nWindows 2000/XP/VISTAが必要です。\n処理を中断します。"},
    {51, "このプログラムは Windows XP Professional x64 Edition,Windows VISTA x64 には対応していません。\n処理を中断します。"},
    {52, "%sは既にインストールされています。インストールを行う前に、アンインストールを行いますか？\n\n［ はい ］   をクリックするとアンインストーラを起動します。\n［ いいえ ］ をクリックするとインストーラを終了します。\n\n既に%sに設定済みの無線LANアクセスポイント情報(ESS-IDやネットワーク キーなど)は全て引き継がれます。"},
    {53, "%sを起動できません。"},
    {54, "Tamsrelを終了できませんでした。\nTamsrelを手動で終了させてからアンインストールしてください。"},
    {55, "Hallorin 専用クライアントソフトがインストールされていません。\nHallorin 専用クライアントソフトをインストールしてから、再度インストールを行ってください。"},
    {56, "このプログラムは、お使いの基本ＯＳには対応しておりません。\n処理を中断します。"},
    {2000, "ﾚｼﾞｽﾄﾘｷｰ\"%1\"の作成ができません。"},
    {2001, "ﾚｼﾞｽﾄﾘｷｰ\"%1\"の更新ができません。"},
    {2003, "ﾚｼﾞｽﾄﾘｷｰ\"%1\"の削除ができません。"},
    {2004, "%sのインストールを終了します。よろしいですか？"},
    {2005, "%sが起動中です。%sを終了させてから、インストールを行ってください。"},
    {2006, "%sが起動中です。%sを終了させてから、アンインストールを行ってください。"},
};

std::string ToCp932(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                        nullptr, nullptr);
    return bytes;
}

// Every non-empty string of the table, read from the raw RT_STRING blocks:
// block n holds ids 16 * (n - 1) to 16 * n - 1, each a counted UTF-16 string.
BOOL CALLBACK CollectStringBlock(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR param) {
    auto* ids = reinterpret_cast<std::set<UINT>*>(param);
    if (!IS_INTRESOURCE(name)) return TRUE;
    UINT block = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name));
    HRSRC info = FindResourceA(module, name, type);
    if (!info) return TRUE;
    const WORD* p = static_cast<const WORD*>(LockResource(LoadResource(module, info)));
    const WORD* end = p + SizeofResource(module, info) / sizeof(WORD);
    for (UINT k = 0; k < 16 && p < end; ++k) {
        WORD length = *p++;
        if (length) ids->insert((block - 1) * 16 + k);
        p += length;
    }
    return TRUE;
}

// A dialog template (DLGTEMPLATE form) in dialog units.
struct ItemTemplate {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    WORD classAtom;        // 0x80 button, 0x81 edit, 0x82 static; 0 when named
    std::wstring className;
    std::wstring text;
};
struct DialogTemplate {
    DWORD style;
    short x, y, cx, cy;
    std::wstring caption;
    WORD pointSize = 0;
    std::wstring font;
    std::vector<ItemTemplate> items;
};

// Reads a name-or-ordinal field: 0 (none), 0xFFFF + ordinal, or a string.
const WORD* ReadNameOrOrdinal(const WORD* p, WORD* ordinal, std::wstring* name) {
    *ordinal = 0;
    name->clear();
    if (*p == 0xFFFF) {
        *ordinal = p[1];
        return p + 2;
    }
    while (*p) name->push_back(static_cast<wchar_t>(*p++));
    return p + 1;
}

const WORD* AlignDword(const WORD* p, const void* base) {
    uintptr_t offset = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base);
    return reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(base) + ((offset + 3) & ~3u));
}

bool LoadDialogTemplate(UINT id, DialogTemplate* out) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), reinterpret_cast<LPCSTR>(RT_DIALOG));
    if (!info) return false;
    const void* base = LockResource(LoadResource(module, info));
    const auto* head = static_cast<const DLGTEMPLATE*>(base);
    out->style = head->style;
    out->x = head->x;
    out->y = head->y;
    out->cx = head->cx;
    out->cy = head->cy;
    const WORD* p = reinterpret_cast<const WORD*>(head + 1);
    WORD ordinal;
    std::wstring ignored;
    p = ReadNameOrOrdinal(p, &ordinal, &ignored);  // menu
    p = ReadNameOrOrdinal(p, &ordinal, &ignored);  // class
    p = ReadNameOrOrdinal(p, &ordinal, &out->caption);
    if (out->style & DS_SETFONT) {
        out->pointSize = *p++;
        while (*p) out->font.push_back(static_cast<wchar_t>(*p++));
        ++p;
    }
    for (WORD i = 0; i < head->cdit; ++i) {
        p = AlignDword(p, base);
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        ItemTemplate parsed;
        parsed.style = item->style;
        parsed.x = item->x;
        parsed.y = item->y;
        parsed.cx = item->cx;
        parsed.cy = item->cy;
        parsed.id = item->id;
        p = reinterpret_cast<const WORD*>(item + 1);
        p = ReadNameOrOrdinal(p, &parsed.classAtom, &parsed.className);
        WORD textOrdinal;
        p = ReadNameOrOrdinal(p, &textOrdinal, &parsed.text);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
        out->items.push_back(parsed);
    }
    return true;
}

constexpr WORD kButton = 0x80;
constexpr WORD kEdit = 0x81;
constexpr WORD kStatic = 0x82;

struct ExpectedItem {
    WORD id;
    WORD classAtom;           // 0: the named class below
    const char* className;
    DWORD kind;               // BS_/SS_ type in the low four bits
    DWORD required;           // style bits that must be set
    DWORD forbidden;          // style bits that must be clear
    short x, y, cx, cy;
    const char* text;         // resource text, code page 932
};

struct ExpectedDialog {
    UINT id;
    DWORD required;
    DWORD forbidden;
    short x, y, cx, cy;
    const char* caption;
    std::vector<ExpectedItem> items;  // in template order
};

const DWORD kEditStyles = ES_MULTILINE | ES_READONLY | ES_WANTRETURN | ES_AUTOVSCROLL |
                          ES_AUTOHSCROLL;

std::vector<ExpectedDialog> ExpectedDialogs() {
    return {
        {IDD_DESTDIR, WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
         WS_SYSMENU | WS_VISIBLE | DS_CENTER, 0, 0, 231, 81, "インストール先のディレクトリ入力",
         {
             {IDOK, kButton, "", BS_DEFPUSHBUTTON, WS_TABSTOP, WS_DISABLED, 46, 62, 50, 14, "OK"},
             {IDCANCEL, kButton, "", BS_PUSHBUTTON, WS_TABSTOP, WS_DISABLED, 134, 62, 50, 14,
              "キャンセル"},
             {IDC_DESTDIR_PROMPT, kStatic, "", SS_LEFT, 0, SS_CENTERIMAGE, 5, 5, 221, 17,
              "%sをインストールするディレクトリを入力して下さい。"},
             {IDC_DESTDIR_EXAMPLE, kStatic, "", SS_LEFT, SS_CENTERIMAGE, 0, 5, 23, 221, 11,
              "(例 %s)"},
             {IDC_DESTDIR_EDIT, kEdit, "", 0, WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP,
              ES_MULTILINE | ES_READONLY, 5, 35, 193, 14, ""},
             {IDC_DESTDIR_BROWSE, kButton, "", BS_PUSHBUTTON, WS_TABSTOP, 0, 200, 35, 26, 14,
              "参照..."},
         }},
        {IDD_COPYPROGRESS,
         WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFONT, WS_SYSMENU,
         60, 80, 230, 86, "ファイルのコピー",
         {
             {IDC_COPY_SOURCE_LABEL, kStatic, "", SS_LEFT, SS_CENTERIMAGE, 0, 5, 5, 35, 12,
              "コピー元："},
             {IDC_COPY_SOURCE, kStatic, "", SS_LEFT, SS_CENTERIMAGE, 0, 40, 5, 185, 12, ""},
             {IDC_COPY_DEST_LABEL, kStatic, "", SS_LEFT, SS_CENTERIMAGE, 0, 5, 23, 35, 12,
              "コピー先："},
             {IDC_COPY_DEST, kStatic, "", SS_LEFT, SS_CENTERIMAGE, 0, 40, 23, 185, 12, ""},
         }},
        {IDD_UNINSTALL,
         WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME | DS_CENTER | DS_SETFOREGROUND |
             DS_SETFONT,
         WS_SYSMENU, 0, 0, 223, 143, "",
         {
             {IDC_UNINST_TEXT, kEdit, "", 0, ES_MULTILINE | ES_READONLY | ES_WANTRETURN,
              WS_BORDER, 18, 7, 198, 21, ""},
             {IDC_UNINST_FOLDER, kButton, "", BS_CHECKBOX, 0, WS_TABSTOP, 39, 33, 177, 12,
              "Check1"},
             {IDC_UNINST_REGISTRY, kButton, "", BS_CHECKBOX, 0, WS_TABSTOP, 39, 54, 177, 12,
              "Check1"},
             {IDC_UNINST_FILES, kButton, "", BS_CHECKBOX, 0, WS_TABSTOP, 39, 75, 177, 12,
              "Check1"},
             {IDC_UNINST_DIRS, kButton, "", BS_CHECKBOX, 0, WS_TABSTOP, 39, 96, 177, 12,
              "Check1"},
             {IDC_UNINST_DONE, kButton, "", BS_DEFPUSHBUTTON, WS_DISABLED, 0, 166, 122, 50, 14,
              "Button1"},
         }},
        {IDD_LICENSE, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
         WS_VISIBLE | DS_CENTER, 0, 0, 329, 236, "ご利用条件",
         {
             {IDOK, kButton, "", BS_PUSHBUTTON, WS_TABSTOP, 0, 7, 215, 97, 14,
              "OK（承認する）"},
             {IDCANCEL, kButton, "", BS_DEFPUSHBUTTON, WS_TABSTOP, 0, 225, 215, 97, 14,
              "キャンセル（承認しない）"},
             {IDC_LICENSE_TEXT, 0, "RICHEDIT", 0,
              ES_MULTILINE | ES_READONLY | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL |
                  WS_BORDER,
              WS_TABSTOP | ES_AUTOHSCROLL | WS_HSCROLL, 7, 7, 315, 203, ""},
         }},
    };
}

INT_PTR CALLBACK IgnoreDialogMessages(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

}  // namespace

TEST(StringTable, EveryMessageLoadsWithItsExactBytes) {
    for (const CatalogueEntry& entry : kCatalogue) {
        SCOPED_TRACE(entry.id);
        ByteString text = LoadMessageText(entry.id);
        EXPECT_EQ(std::string(text.c_str(), text.Length()), std::string(entry.text));
    }
}

TEST(StringTable, HoldsExactlyTheCatalogueIdsInJapanese) {
    std::set<UINT> expected;
    for (const CatalogueEntry& entry : kCatalogue) expected.insert(entry.id);
    EXPECT_EQ(expected.size(), 62u);
    EXPECT_EQ(expected.count(2002), 0u);

    std::set<UINT> present;
    HMODULE module = GetModuleHandleA(nullptr);
    ASSERT_TRUE(EnumResourceNamesA(module, reinterpret_cast<LPCSTR>(RT_STRING), CollectStringBlock,
                                   reinterpret_cast<LONG_PTR>(&present)));
    EXPECT_EQ(present, expected);
    EXPECT_TRUE(LoadMessageText(2002).IsEmpty());

    // Block 1 holds ids 0..15; block 126 holds 2000..2015.
    const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
    for (UINT block : {1u, 2u, 4u, 126u}) {
        EXPECT_NE(FindResourceExA(module, reinterpret_cast<LPCSTR>(RT_STRING),
                                  MAKEINTRESOURCEA(block), japanese),
                  nullptr)
            << block;
    }
}

TEST(DialogTemplates, MatchTheirLayoutInDialogUnits) {
    for (const ExpectedDialog& dialog : ExpectedDialogs()) {
        SCOPED_TRACE(dialog.id);
        DialogTemplate parsed;
        ASSERT_TRUE(LoadDialogTemplate(dialog.id, &parsed));
        EXPECT_EQ(parsed.style & dialog.required, dialog.required);
        EXPECT_EQ(parsed.style & dialog.forbidden, 0u);
        EXPECT_EQ(parsed.x, dialog.x);
        EXPECT_EQ(parsed.y, dialog.y);
        EXPECT_EQ(parsed.cx, dialog.cx);
        EXPECT_EQ(parsed.cy, dialog.cy);
        EXPECT_EQ(ToCp932(parsed.caption), dialog.caption);
        EXPECT_EQ(parsed.pointSize, 9);
        EXPECT_EQ(ToCp932(parsed.font), "ＭＳ Ｐゴシック");
        ASSERT_EQ(parsed.items.size(), dialog.items.size());
        for (size_t i = 0; i < dialog.items.size(); ++i) {
            const ExpectedItem& want = dialog.items[i];
            const ItemTemplate& got = parsed.items[i];
            SCOPED_TRACE(want.id);
            EXPECT_EQ(got.id, want.id);
            EXPECT_EQ(got.classAtom, want.classAtom);
            EXPECT_EQ(ToCp932(got.className), want.className);
            if (want.classAtom == kButton || want.classAtom == kStatic) {
                EXPECT_EQ(got.style & 0xF, want.kind);
            }
            EXPECT_EQ(got.style & (WS_CHILD | WS_VISIBLE), DWORD(WS_CHILD | WS_VISIBLE));
            EXPECT_EQ(got.style & want.required, want.required);
            EXPECT_EQ(got.style & want.forbidden, 0u);
            if (want.classAtom == kEdit || want.classAtom == 0) {
                EXPECT_EQ(got.style & kEditStyles, want.required & kEditStyles);
            }
            EXPECT_EQ(got.x, want.x);
            EXPECT_EQ(got.y, want.y);
            EXPECT_EQ(got.cx, want.cx);
            EXPECT_EQ(got.cy, want.cy);
            EXPECT_EQ(ToCp932(got.text), want.text);
        }
    }
}

// The licence dialog names the rich-edit class of riched32.dll; the dialog
// can only be built once that library has registered it.
TEST(DialogTemplates, CreateWithTheirTextsIncludingTheRichEditDialog) {
    ASSERT_NE(LoadLibraryA("riched32.dll"), nullptr);
    WNDCLASSA richEdit;
    EXPECT_TRUE(GetClassInfoA(nullptr, "RICHEDIT", &richEdit));

    HINSTANCE instance = GetModuleHandleA(nullptr);
    for (const ExpectedDialog& dialog : ExpectedDialogs()) {
        SCOPED_TRACE(dialog.id);
        HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(dialog.id), nullptr,
                                         IgnoreDialogMessages, 0);
        ASSERT_NE(window, nullptr);
        char text[512];
        GetWindowTextA(window, text, sizeof text);
        EXPECT_STREQ(text, dialog.caption);
        for (const ExpectedItem& want : dialog.items) {
            HWND item = GetDlgItem(window, want.id);
            ASSERT_NE(item, nullptr) << want.id;
            GetWindowTextA(item, text, sizeof text);
            EXPECT_STREQ(text, want.text) << want.id;
        }
        char className[64];
        if (dialog.id == IDD_LICENSE) {
            GetClassNameA(GetDlgItem(window, IDC_LICENSE_TEXT), className, sizeof className);
            EXPECT_STRCASEEQ(className, "RICHEDIT");
        }
        DestroyWindow(window);
    }
}
