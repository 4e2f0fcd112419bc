// The licence dialog as the user meets it: the terms in the rich-edit
// control, accepted, declined by button, key or close box.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "res/resource.h"
#include "tests/wine/dialog_driver.h"
#include "ui/license_dialog_win.h"

namespace {

// Text of the terms in code page 932; "ソ" (83 5C) and "表" (95 5C) end in a
// backslash byte, which an RTF reader must not take for a control word.
const char kFirstParagraph[] = "第1条 本ソフトウェアの使用表示について";
const char kSecondParagraph[] = "第2条 {括弧} と \\ 記号";

// An RTF document as word processors write Japanese: code page 932 declared,
// every byte above 0x7F escaped as \'xx.
std::string RtfOf(const std::string& first, const std::string& second) {
    auto escape = [](const std::string& text) {
        std::string out;
        for (unsigned char c : text) {
            char hex[8];
            if (c >= 0x80) {
                snprintf(hex, sizeof hex, "\\'%02x", c);
                out += hex;
            } else if (c == '\\' || c == '{' || c == '}') {
                out += '\\';
                out += static_cast<char>(c);
            } else {
                out += static_cast<char>(c);
            }
        }
        return out;
    };
    return "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fnil\\fcharset128 MS UI Gothic;}}\r\n"
           "\\f0\\fs18 " + escape(first) + "\\par\r\n" + escape(second) + "\\par\r\n}\r\n";
}

class LicenseDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        dir_ = std::string(temp) + "license-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(dir_.c_str(), nullptr);
        WriteTerms("terms.rtf", RtfOf(kFirstParagraph, kSecondParagraph));
        SetupConfig& config = Config();
        config.ProgramName = "Orbelo";
        config.ScriptDir = dir_.c_str();
        config.Startrtf = "terms.rtf";
        config.StartTitle = "";
        config.StartDlgOK = "";
        config.StartDlgCancel = "";
    }
    void TearDown() override {
        DeleteFileA((dir_ + "terms.rtf").c_str());
        DeleteFileA((dir_ + "plain.rtf").c_str());
        RemoveDirectoryA(dir_.c_str());
    }
    void WriteTerms(const char* name, const std::string& bytes) {
        FILE* file = fopen((dir_ + name).c_str(), "wb");
        ASSERT_NE(file, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
    }

    // Runs the dialog; look() sees it open, then button ends it.
    int Run(const std::function<void(const DialogDriver&, HWND)>& look) {
        return RunDriven([] { return RunLicenseDialog(nullptr); },
                         [&](const DialogDriver& driver) {
                             HWND dialog = driver.WaitForDialog(CaptionNow());
                             ASSERT_NE(dialog, nullptr) << "no dialog titled " << CaptionNow();
                             look(driver, dialog);
                         });
    }
    static const char* CaptionNow() {
        return Config().StartTitle.IsEmpty() ? "ご利用条件" : Config().StartTitle.c_str();
    }

    std::string dir_;
};

TEST_F(LicenseDialogTest, ShowsTheTermsFromTheRtfAsCodePage932Text) {
    std::string text;
    int result = Run([&](const DialogDriver&, HWND dialog) {
        text = DialogDriver::ItemText(dialog, IDC_LICENSE_TEXT);
        DialogDriver::Press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(text.find(kFirstParagraph), std::string::npos) << text;
    EXPECT_NE(text.find(kSecondParagraph), std::string::npos) << text;
    EXPECT_EQ(text.find("\\'"), std::string::npos) << "escapes shown raw: " << text;
}

TEST_F(LicenseDialogTest, ResourceTextsStayUnlessTheScriptGivesItsOwn) {
    std::string accept, decline;
    auto readButtons = [&](const DialogDriver&, HWND dialog) {
        accept = DialogDriver::ItemText(dialog, IDOK);
        decline = DialogDriver::ItemText(dialog, IDCANCEL);
        DialogDriver::Press(dialog, IDCANCEL);
    };
    Run(readButtons);
    EXPECT_EQ(accept, "OK（承認する）");
    EXPECT_EQ(decline, "キャンセル（承認しない）");

    Config().StartTitle = "利用規約";
    Config().StartDlgOK = "承諾する";
    Config().StartDlgCancel = "承諾しない";
    Run(readButtons);
    EXPECT_EQ(accept, "承諾する");
    EXPECT_EQ(decline, "承諾しない");
}

TEST_F(LicenseDialogTest, ButtonsAndKeysGiveTheirResults) {
    // Accept has the focus at opening, so Return accepts; Escape declines.
    struct Case {
        const char* what;
        std::function<void(const DialogDriver&, HWND)> act;
        int result;
    } cases[] = {
        {"accept", [](const DialogDriver&, HWND d) { DialogDriver::Press(d, IDOK); }, IDOK},
        {"decline", [](const DialogDriver&, HWND d) { DialogDriver::Press(d, IDCANCEL); }, IDCANCEL},
        {"escape", [](const DialogDriver& driver, HWND) { driver.PressKey(VK_ESCAPE); }, IDCANCEL},
        {"return",
         [](const DialogDriver& driver, HWND d) {
             EXPECT_EQ(driver.FocusedWindow(), GetDlgItem(d, IDOK));
             driver.PressKey(VK_RETURN);
         },
         IDOK},
    };
    for (const Case& c : cases) EXPECT_EQ(Run(c.act), c.result) << c.what;
}

TEST_F(LicenseDialogTest, CloseBoxAsksAndOnlyYesDeclines) {
    int result = Run([](const DialogDriver& driver, HWND dialog) {
        driver.CloseRefusingOnce(dialog, FormatMessageText(IDS_CONFIRM_CLOSE, "Orbelo").c_str());
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(LicenseDialogTest, MissingTermsLeaveTheTextEmptyAndTheButtonsWorking) {
    Config().Startrtf = "absent.rtf";
    std::string text = "unread";
    int result = Run([&](const DialogDriver&, HWND dialog) {
        text = DialogDriver::ItemText(dialog, IDC_LICENSE_TEXT);
        DialogDriver::Press(dialog, IDOK);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(text, "");
}

TEST_F(LicenseDialogTest, PlainTextNamedAsTermsStillLetsTheUserAnswer) {
    // Streamed with the RTF flag all the same; what the control makes of it
    // is its own affair (this one shows nothing), the dialog must still work.
    WriteTerms("plain.rtf", "plain terms, no markup");
    Config().Startrtf = "plain.rtf";
    int result = Run([&](const DialogDriver&, HWND dialog) { DialogDriver::Press(dialog, IDOK); });
    EXPECT_EQ(result, IDOK);
}

}  // namespace
