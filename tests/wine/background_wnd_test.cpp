// The background window on the virtual display: when the sequence starts,
// what the first paint puts on the screen, and how the window ends the run.
// Each window lives on its own thread, so the WM_QUIT that its destruction
// posts stays in that thread's queue.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/messages_win.h"
#include "package/setup_config.h"
#include "ui/background_wnd_win.h"
#include "ui/gradient.h"

namespace {

void OnOwnThread(const std::function<void()>& body) {
    std::thread worker(body);
    worker.join();
}

// Dispatches until done() holds, WM_QUIT comes by or about two seconds have
// passed; returns whether WM_QUIT came by.
bool Pump(const std::function<bool()>& done) {
    bool quit = false;
    for (int i = 0; i < 200 && !done() && !quit; ++i) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) quit = true;
            DispatchMessageA(&message);
        }
        if (!done() && !quit) Sleep(10);
    }
    return quit;
}

std::string Caption(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class BackgroundWndTest : public testing::Test {
protected:
    void SetUp() override { Config().ProgramName = "オルベロ"; }
    void TearDown() override {
        Config().ProgramName = "";
        Config().UninstallMode = false;
        Config().SilentMode = false;
        SetMessageOwner(nullptr);
    }
};

}  // namespace

TEST_F(BackgroundWndTest, SequenceStartsAtFirstPaintOrAtCreationWhenSilent) {
    struct Case {
        bool silent;
        bool uninstall;
        int32_t atCreation;
        int32_t afterShow;
        const char* captionAfterPaint;
    };
    const Case cases[] = {
        {false, false, 0, 1, "オルベロ インストーラ"},
        {false, true, 0, 100, "オルベロ アンインストーラ"},
        {true, false, 1, 1, "オルベロ インストーラ"},
        {true, true, 100, 100, "オルベロ インストーラ"},  // never painted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "silent " << c.silent << " uninstall " << c.uninstall);
        Config().SilentMode = c.silent;
        Config().UninstallMode = c.uninstall;
        OnOwnThread([&] {
            BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
            ASSERT_NE(window, nullptr);
            HWND handle = window->Handle();
            EXPECT_EQ(window->StepState, c.atCreation);
            EXPECT_EQ(window->ActiveProgress, nullptr);
            EXPECT_EQ(MainBackgroundWnd(), window);
            EXPECT_EQ(MessageOwner(), handle);
            EXPECT_EQ(Caption(handle), "オルベロ インストーラ");
            EXPECT_FALSE(IsWindowVisible(handle));
            EXPECT_NE(SendMessageA(handle, WM_GETICON, ICON_BIG, 0), 0);
            EXPECT_NE(SendMessageA(handle, WM_GETICON, ICON_SMALL, 0), 0);

            RECT rect;
            GetWindowRect(handle, &rect);
            EXPECT_EQ(rect.left, 0);
            EXPECT_EQ(rect.top, 0);
            EXPECT_EQ(rect.right, GetSystemMetrics(SM_CXSCREEN));
            EXPECT_EQ(rect.bottom, GetSystemMetrics(SM_CYSCREEN));
            EXPECT_EQ(GetWindowLongA(handle, GWL_STYLE) & WS_OVERLAPPEDWINDOW,
                      WS_OVERLAPPEDWINDOW);
            EXPECT_TRUE(GetWindowLongA(handle, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

            if (!c.silent) {
                ShowWindow(handle, SW_SHOWNORMAL);
                UpdateWindow(handle);
            }
            Pump([&] { return window->StepState != 0; });
            EXPECT_EQ(window->StepState, c.afterShow);
            EXPECT_EQ(Caption(handle), c.captionAfterPaint);

            DestroyWindow(handle);
            // The run ends with the window, and no later box is owned by it.
            EXPECT_TRUE(Pump([] { return false; }));
            EXPECT_EQ(MainBackgroundWnd(), nullptr);
            EXPECT_EQ(MessageOwner(), nullptr);
        });
    }
}

// A band row: black at the top, pure blue at the bottom, and the white title
// in the top left corner.
TEST_F(BackgroundWndTest, PaintsTheGradientAndTheWhiteTitle) {
    int titleEnd[2] = {0, 0};
    for (bool uninstall : {false, true}) {
        SCOPED_TRACE(uninstall);
        Config().UninstallMode = uninstall;
        OnOwnThread([&] {
            BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
            ASSERT_NE(window, nullptr);
            HWND handle = window->Handle();
            ShowWindow(handle, SW_SHOWNORMAL);
            UpdateWindow(handle);
            Pump([&] { return window->StepState != 0; });
            GdiFlush();

            RECT client;
            GetClientRect(handle, &client);
            ASSERT_GE(client.bottom, 256);
            GradientBand bands[kGradientBands];
            ComputeGradientBands(0, client.bottom, bands);

            HDC dc = GetDC(handle);
            const int x = client.right - 5;  // clear of the title
            EXPECT_EQ(GetPixel(dc, x, 0), RGB(0, 0, 0));
            EXPECT_EQ(GetPixel(dc, x, client.bottom - 1), RGB(0, 0, 255));
            for (int i : {1, 100, 200}) {
                EXPECT_EQ(GetPixel(dc, x, bands[i].top), RGB(0, 0, i)) << "band " << i;
                EXPECT_EQ(GetPixel(dc, x, bands[i].top + bands[i].height - 1), RGB(0, 0, i));
            }

            // The title: white pixels right of and below (10, 10), none above
            // it or left of it, and the uninstall title is the longer one.
            int white = 0, whiteOutside = 0, rightmost = 0;
            for (int y = 0; y < 45; ++y) {
                for (int px = 0; px < 400; ++px) {
                    if (GetPixel(dc, px, y) != RGB(255, 255, 255)) continue;
                    if (px >= 10 && y >= 10 && y < 40) {
                        ++white;
                        if (px > rightmost) rightmost = px;
                    } else {
                        ++whiteOutside;
                    }
                }
            }
            ReleaseDC(handle, dc);
            EXPECT_GT(white, 100);
            EXPECT_EQ(whiteOutside, 0);
            titleEnd[uninstall] = rightmost;
            DestroyWindow(handle);
            Pump([] { return false; });
        });
    }
    // Ten full-width characters at height 25 reach well past x = 150; the
    // uninstall title has three characters more.
    EXPECT_GT(titleEnd[0], 150);
    EXPECT_GT(titleEnd[1], titleEnd[0] + 30);
}

// Closing from the system menu takes the default path: no question, the
// window goes and the run ends.
TEST_F(BackgroundWndTest, CloseEndsTheRun) {
    OnOwnThread([] {
        BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
        ASSERT_NE(window, nullptr);
        HWND handle = window->Handle();
        PostMessageA(handle, WM_CLOSE, 0, 0);
        EXPECT_TRUE(Pump([] { return false; }));
        EXPECT_FALSE(IsWindow(handle));
        EXPECT_EQ(MainBackgroundWnd(), nullptr);
    });
}

namespace {

// Where the title is fully covered: the pure white pixels of the region
// (0, 0)-(400, 45), row by row.
using WhiteMask = std::vector<bool>;
constexpr int kMaskWidth = 400;
constexpr int kMaskHeight = 45;

WhiteMask WhitePixels(HDC dc) {
    WhiteMask mask;
    for (int y = 0; y < kMaskHeight; ++y)
        for (int x = 0; x < kMaskWidth; ++x) mask.push_back(GetPixel(dc, x, y) == RGB(255, 255, 255));
    return mask;
}

struct TitleFont {
    int height;
    int weight;
    BOOL italic;
    DWORD charset;
};

// The title drawn at (10, 10) in white on black with the given font.
WhiteMask Reference(const std::string& title, const TitleFont& font) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, kMaskWidth, kMaskHeight);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all = {0, 0, kMaskWidth, kMaskHeight};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    HFONT handle = CreateFontA(font.height, 0, 0, 0, font.weight, font.italic, FALSE, FALSE,
                               font.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                               DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, nullptr);
    HGDIOBJ oldFont = SelectObject(dc, handle);
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 10, 10, title.c_str(), static_cast<int>(title.size()));
    WhiteMask mask = WhitePixels(dc);
    SelectObject(dc, oldFont);
    DeleteObject(handle);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return mask;
}

}  // namespace

// The title's letters are those of the system's Shift-JIS face at height 25,
// normal weight, italic: the window shows exactly what that font draws, and
// no neighbouring font (upright, bold, a size smaller, another character
// set) draws the same.
TEST_F(BackgroundWndTest, TheTitleIsDrawnInTheItalicShiftJisFontOfHeight25) {
    WhiteMask shown;
    OnOwnThread([&] {
        BackgroundWnd* window = CreateBackgroundWnd(GetModuleHandleA(nullptr));
        ASSERT_NE(window, nullptr);
        HWND handle = window->Handle();
        ShowWindow(handle, SW_SHOWNORMAL);
        UpdateWindow(handle);
        Pump([&] { return window->StepState != 0; });
        GdiFlush();
        HDC dc = GetDC(handle);
        shown = WhitePixels(dc);
        ReleaseDC(handle, dc);
        DestroyWindow(handle);
        Pump([] { return false; });
    });
    const std::string title = "オルベロのインストール";
    EXPECT_TRUE(shown == Reference(title, {25, FW_NORMAL, TRUE, SHIFTJIS_CHARSET}));
    struct Other {
        const char* what;
        TitleFont font;
    } others[] = {
        {"upright", {25, FW_NORMAL, FALSE, SHIFTJIS_CHARSET}},
        {"bold", {25, FW_BOLD, TRUE, SHIFTJIS_CHARSET}},
        {"height 24", {24, FW_NORMAL, TRUE, SHIFTJIS_CHARSET}},
        {"western character set", {25, FW_NORMAL, TRUE, ANSI_CHARSET}},
    };
    for (const Other& other : others) EXPECT_FALSE(shown == Reference(title, other.font)) << other.what;
}
