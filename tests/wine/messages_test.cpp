// ShowMessage as the user sees it: the box is opened on a second thread and
// read and answered from the test thread, like a user would.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "tests/wine/dialog_driver.h"

namespace {

struct BoxSeen {
    std::string title;
    std::string text;
    bool ok = false, cancel = false, yes = false, no = false;
    HICON icon = nullptr;
    HWND owner = nullptr;
};

// Runs show() on a new thread (optionally with an owner window of that thread
// registered as message owner), reads the box, presses button and returns
// what show() returned.
int RunBox(const std::function<int()>& show, int button, BoxSeen* seen, bool withOwner = false) {
    std::atomic<DWORD> threadId{0};
    std::atomic<HWND> ownerWindow{nullptr};
    int result = -1;
    std::thread worker([&] {
        HWND owner = nullptr;
        if (withOwner) {
            owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr,
                                    nullptr, nullptr, nullptr);
            SetMessageOwner(owner);
            ownerWindow = owner;
        }
        threadId = GetCurrentThreadId();
        result = show();
        if (owner) {
            SetMessageOwner(nullptr);
            DestroyWindow(owner);
        }
    });
    while (!threadId) Sleep(1);
    HWND box = DialogDriver(threadId).WaitForMessageBox();
    EXPECT_NE(box, nullptr) << "no message box appeared";
    if (box) {
        seen->title = DialogDriver::Text(box);
        seen->text = DialogDriver::MessageBoxText(box);
        seen->ok = GetDlgItem(box, IDOK) != nullptr;
        seen->cancel = GetDlgItem(box, IDCANCEL) != nullptr;
        seen->yes = GetDlgItem(box, IDYES) != nullptr;
        seen->no = GetDlgItem(box, IDNO) != nullptr;
        seen->icon = DialogDriver::MessageBoxIcon(box);
        seen->owner = GetWindow(box, GW_OWNER);
        EXPECT_EQ(seen->owner, withOwner ? ownerWindow.load() : nullptr);
        DialogDriver::Press(box, button);
    }
    worker.join();
    return result;
}

class ShowMessageTest : public testing::Test {
protected:
    void TearDown() override {
        Config().ProgramName = "";
        Config().UninstallMode = false;
        SetMessageOwner(nullptr);
    }
};

}  // namespace

TEST_F(ShowMessageTest, ShowsTitleTextButtonsAndIconAndReturnsTheAnswer) {
    const HICON exclamation = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_EXCLAMATION));
    const HICON question = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_QUESTION));
    const HICON stop = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_HAND));
    const HICON information = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_ASTERISK));
    struct Case {
        const char* label;
        const char* name;
        bool uninstall;
        std::function<int()> show;
        int press;
        const char* title;
        const char* text;
        bool yesNo;
        HICON icon;
    };
    const Case cases[] = {
        {"style 0 is an exclamation with OK", "オルベロ", false,
         [] { return ShowMessage(kStyleDefault, 1); }, IDOK, "オルベロ インストーラ",
         "タイマ資源がありまあせん。他のアプリケーションを停止して再度インストールを試みてください。",
         false, exclamation},
        {"question answered no", "オルベロ", true,
         [] { return ShowMessage(kStyleQuestion, 17, "オルベロ"); }, IDNO,
         "オルベロ アンインストーラ", "オルベロ をアンインストールしますか？", true, question},
        {"three names, two used, answered yes", "オルベロ", false,
         [] { return ShowMessage(kStyleQuestion, 52, "オルベロ", "オルベロ", "オルベロ"); },
         IDYES, "オルベロ インストーラ",
         "オルベロは既にインストールされています。インストールを行う前に、アンインストールを行いますか？\n\n"
         "［ はい ］   をクリックするとアンインストーラを起動します。\n"
         "［ いいえ ］ をクリックするとインストーラを終了します。\n\n"
         "既にオルベロに設定済みの無線LANアクセスポイント情報(ESS-IDやネットワーク キーなど)は全て引き継がれます。",
         true, question},
        {"detail code through %d before the script is read", "", false,
         [] { return ShowMessage(kStyleStop, 37, -7); }, IDOK, " インストーラ",
         "作業用ファイルの作成に失敗しました。\n詳細コード:-7\nインストールを中止します。", false,
         stop},
        {"uninstaller title before the script is read", "", true,
         [] { return ShowMessage(kStyleInformation, 27, "アンインストール"); }, IDOK,
         " アンインストーラ",
         "このプログラムの動作には管理者権限が必要です。\n管理者権限をもつユーザでログインしてから実行してください。\n"
         "アンインストールを中断します。",
         false, information},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Config().ProgramName = c.name;
        Config().UninstallMode = c.uninstall;
        BoxSeen seen;
        EXPECT_EQ(RunBox(c.show, c.press, &seen), c.press);
        EXPECT_EQ(seen.title, c.title);
        EXPECT_EQ(seen.text, c.text);
        EXPECT_EQ(seen.yes, c.yesNo);
        EXPECT_EQ(seen.no, c.yesNo);
        EXPECT_EQ(seen.ok, !c.yesNo);
        EXPECT_FALSE(seen.cancel);
        EXPECT_EQ(seen.icon, c.icon);
    }
}

TEST_F(ShowMessageTest, BoxBelongsToTheRegisteredOwner) {
    Config().ProgramName = "オルベロ";
    BoxSeen seen;
    EXPECT_EQ(RunBox([] { return ShowMessage(kStyleDefault, 8, "オルベロ"); }, IDOK, &seen, true),
              IDOK);
    EXPECT_NE(seen.owner, nullptr);
    EXPECT_EQ(seen.text, "オルベロのインストールを終了します。");
}

TEST(MessageText, FormatsLikeTheBoxesWithoutShowingOne) {
    ByteString done = FormatMessageText(24, "オルベロ");
    EXPECT_STREQ(done.c_str(),
                 "オルベロのアンインストールが完了しました。\r\n［完了］ボタンをクリックしてください。");
    EXPECT_STREQ(FormatMessageText(19).c_str(), "プログラム登録項目の削除");
}

// wvsprintfA stops at 1023 bytes; a double-byte character cut there must not
// leave its lead byte behind.
TEST(MessageText, LongArgumentIsCutOnACharacterBoundary) {
    std::string katakana;
    for (int i = 0; i < 700; ++i) katakana += "ア";  // 2 bytes each
    // "ファイル（" is 10 bytes: the 507th character would need bytes 1022 and 1023.
    ByteString even = FormatMessageText(7, katakana.c_str());
    EXPECT_EQ(even.Length(), 1022u);
    ByteString odd = FormatMessageText(7, ("x" + katakana).c_str());
    EXPECT_EQ(odd.Length(), 1023u);
    for (const ByteString* text : {&even, &odd}) {
        size_t position = 0;
        while (position < text->Length()) {
            size_t step = CharLength932(text->c_str() + position);
            ASSERT_TRUE(step == 2 ||
                        !IsLeadByte932(static_cast<unsigned char>((*text)[position])));
            position += step;
        }
        EXPECT_EQ(position, text->Length());
    }
}
