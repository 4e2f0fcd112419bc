// The percentage bar on the virtual display, read back pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include "res/resource.h"
#include "ui/progress_bar_win.h"

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 30;
constexpr int kRow = 26;  // an interior row below the text
const COLORREF kBlue = RGB(0, 0, 255);
const COLORREF kDark = RGB(0, 0, 127);
const COLORREF kWhite = RGB(255, 255, 255);

void Pump() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

class ProgressBarTest : public testing::Test {
protected:
    void SetUp() override {
        parent_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 40, 40, 260, 80,
                                  nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(parent_, nullptr);
        RECT rect = {10, 10, 10 + kWidth, 10 + kHeight};
        ASSERT_TRUE(bar_.Create(parent_, rect));
        UpdateWindow(parent_);
        Pump();
    }
    void TearDown() override {
        if (parent_) DestroyWindow(parent_);
    }
    COLORREF Pixel(int x, int y) {
        HDC dc = GetDC(bar_.Handle());
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(bar_.Handle(), dc);
        return colour;
    }
    // First x of the interior row that is not dark blue.
    int DarkEnd() {
        int x = 1;
        while (x < kWidth && Pixel(x, kRow) == kDark) ++x;
        return x;
    }
    // Leftmost and rightmost text columns, -1 when none. The background has
    // no red at all; white text, smoothed or not, has plenty.
    void TextSpan(int* left, int* right) {
        *left = *right = -1;
        HDC dc = GetDC(bar_.Handle());
        for (int x = 1; x < kWidth - 1; ++x)
            for (int y = 5; y < kRow; ++y)
                if (GetRValue(GetPixel(dc, x, y)) >= 128) {
                    if (*left < 0) *left = x;
                    *right = x;
                }
        ReleaseDC(bar_.Handle(), dc);
    }
    void Repaint() {
        InvalidateRect(bar_.Handle(), nullptr, TRUE);
        UpdateWindow(bar_.Handle());
    }

    HWND parent_ = nullptr;
    ProgressBar bar_;
};

}  // namespace

TEST_F(ProgressBarTest, IsAVisibleTabStopChildWithId999) {
    HWND handle = bar_.Handle();
    EXPECT_EQ(GetDlgCtrlID(handle), IDC_PROGRESSBAR);
    EXPECT_EQ(GetParent(handle), parent_);
    LONG style = GetWindowLongA(handle, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE | WS_TABSTOP), WS_CHILD | WS_VISIBLE | WS_TABSTOP);
    RECT client;
    GetClientRect(handle, &client);
    EXPECT_EQ(client.right, kWidth);
    EXPECT_EQ(client.bottom, kHeight);
    EXPECT_EQ(bar_.Pos(), 0);
}

TEST_F(ProgressBarTest, SetPosDrawsTheDarkPartAtOnce) {
    // Dark part: x = 1 up to (W - 2) * p / 100, exclusive.
    struct Case {
        int percent;
        int darkEnd;
    };
    const Case cases[] = {{0, 1}, {42, 83}, {100, 198}, {7, 13}, {-10, 1}, {42, 83}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        bar_.SetPos(c.percent);
        EXPECT_EQ(bar_.Pos(), c.percent);
        EXPECT_EQ(DarkEnd(), c.darkEnd);
        EXPECT_EQ(Pixel(c.darkEnd, kRow), kBlue);
        // The frame is left alone: the left column keeps the shadow colour.
        EXPECT_EQ(Pixel(0, kRow), GetSysColor(COLOR_BTNSHADOW));
    }
}

TEST_F(ProgressBarTest, RepaintShowsTheSameStateInASunkenFrame) {
    const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
    for (int percent : {0, 42, 100}) {
        SCOPED_TRACE(percent);
        bar_.SetPos(percent);
        int afterSetPos = DarkEnd();
        Repaint();
        EXPECT_EQ(DarkEnd(), afterSetPos);
        EXPECT_EQ(Pixel(0, 0), shadow);
        EXPECT_EQ(Pixel(kWidth / 2, 0), shadow);
        EXPECT_EQ(Pixel(0, kHeight / 2), shadow);
        EXPECT_EQ(Pixel(kWidth - 1, 0), shadow);  // the top edge is drawn last
        EXPECT_EQ(Pixel(kWidth - 1, kHeight / 2), kWhite);
        EXPECT_EQ(Pixel(kWidth / 2, kHeight - 1), kWhite);
        EXPECT_EQ(Pixel(0, kHeight - 1), shadow);
    }
}

TEST_F(ProgressBarTest, AboveHundredCoversTheRightFrameUntilTheNextRepaint) {
    bar_.SetPos(150);
    EXPECT_EQ(Pixel(kWidth - 1, kRow), kDark);
    Repaint();
    EXPECT_EQ(Pixel(kWidth - 1, kRow), kWhite);
    EXPECT_EQ(Pixel(kWidth - 2, kRow), kDark);
}

TEST_F(ProgressBarTest, PercentTextIsCentredAndWhite) {
    HDC dc = GetDC(bar_.Handle());
    struct Case {
        int percent;
        const char* text;
        SIZE extent;
    };
    Case cases[] = {{0, "0%", {}}, {42, "42%", {}}, {100, "100%", {}}, {-3, "-3%", {}}};
    for (Case& c : cases) GetTextExtentPoint32A(dc, c.text, lstrlenA(c.text), &c.extent);
    ReleaseDC(bar_.Handle(), dc);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        bar_.SetPos(c.percent);
        int left, right;
        TextSpan(&left, &right);
        // The ink lies in the text's box centred on x = W / 2 and fills most of it.
        const int boxLeft = kWidth / 2 - c.extent.cx / 2;
        EXPECT_GE(left, boxLeft - 1);
        EXPECT_LE(right, boxLeft + c.extent.cx);
        EXPECT_GT(right - left, c.extent.cx / 2);
        EXPECT_EQ(Pixel((left + right) / 2, kRow), c.percent > 50 ? kDark : kBlue);
    }
    // SetPos clears the old text: after "100%" the narrower "0%" leaves
    // nothing behind, and a repaint draws the same text.
    bar_.SetPos(0);
    int left0, right0, left, right;
    TextSpan(&left0, &right0);
    EXPECT_GE(left0, kWidth / 2 - cases[0].extent.cx / 2 - 1);
    Repaint();
    TextSpan(&left, &right);
    EXPECT_EQ(left, left0);
    EXPECT_EQ(right, right0);
}

TEST_F(ProgressBarTest, OutlivesItsWindow) {
    DestroyWindow(parent_);
    parent_ = nullptr;
    EXPECT_EQ(bar_.Handle(), nullptr);
    bar_.SetPos(50);  // nothing to draw on, and no crash
    EXPECT_EQ(bar_.Pos(), 50);
}
