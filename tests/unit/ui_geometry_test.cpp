#include <gtest/gtest.h>

#include "ui/gradient.h"
#include "ui/progress_geometry.h"

namespace {

// The bands must tile the client area without gaps or overlap.
void ExpectContiguous(const GradientBand (&bands)[kGradientBands], int32_t top, int32_t height) {
    int32_t y = top;
    for (int i = 0; i < kGradientBands; ++i) {
        EXPECT_EQ(bands[i].top, y) << "band " << i;
        EXPECT_EQ(bands[i].blue, i);
        y += bands[i].height;
    }
    EXPECT_EQ(y, top + height);
}

}  // namespace

TEST(GradientBands, HeightsSplitTheClientAreaExactly) {
    struct Case {
        int32_t height;
        int firstTaller;  // first band with the extra row (256: none)
        int32_t base;     // rows of the other bands
    };
    const Case cases[] = {
        {768, 256, 3}, {1000, 24, 3}, {256, 256, 1}, {257, 255, 1},
        {511, 1, 1},   {255, 1, 0},   {100, 156, 0}, {1, 255, 0}, {0, 256, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        GradientBand bands[kGradientBands];
        ComputeGradientBands(0, c.height, bands);
        for (int i = 0; i < kGradientBands; ++i)
            ASSERT_EQ(bands[i].height, c.base + (i >= c.firstTaller ? 1 : 0)) << "band " << i;
        ExpectContiguous(bands, 0, c.height);
    }
}

TEST(GradientBands, LowWindowStartsAtAPartialBlue) {
    // 100 rows: only bands 156..255 are drawn, so row 0 is blue 156, not black.
    GradientBand bands[kGradientBands];
    ComputeGradientBands(0, 100, bands);
    int firstVisible = -1;
    for (int i = 0; i < kGradientBands && firstVisible < 0; ++i)
        if (bands[i].height > 0) firstVisible = i;
    EXPECT_EQ(firstVisible, 156);
    EXPECT_EQ(bands[156].top, 0);
    EXPECT_EQ(bands[255].top, 99);
}

TEST(GradientBands, OffsetTopAndNegativeHeight) {
    GradientBand bands[kGradientBands];
    ComputeGradientBands(7, 768, bands);
    ExpectContiguous(bands, 7, 768);
    ComputeGradientBands(0, -5, bands);
    ExpectContiguous(bands, 0, 0);
}

TEST(ProgressGeometry, FillWidthFollowsThePercentage) {
    struct Case {
        int32_t width, height, percent;
        BarRect expected;
        bool empty;
    };
    const Case cases[] = {
        {202, 30, 0, {1, 1, 1, 28}, true},
        {202, 30, 1, {1, 1, 2, 28}, false},
        {202, 30, 42, {1, 1, 84, 28}, false},
        {202, 30, 100, {1, 1, 200, 28}, false},
        {202, 30, 150, {1, 1, 300, 28}, false},
        {103, 20, 33, {1, 1, 33, 18}, false},   // 101 * 33 / 100 = 33.33 truncated
        {202, 30, -10, {1, 1, 1, 28}, true},    // never a reversed rectangle
        {2000, 30, INT32_MAX, {1, 1, INT32_MAX, 28}, false},  // no overflow
        {1073741825, 30, 200, {1, 1, 2147483646, 28}, false},  // just below the clamp
        {1073741826, 30, 200, {1, 1, INT32_MAX, 28}, false},   // 2147483648 clamped
        {-198, 30, -50, {1, 1, 100, 28}, false},  // two negatives multiply as ever
        {1, 1, 50, {1, 1, 1, -1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " " << c.percent);
        BarRect r = ProgressFillRect(c.width, c.height, c.percent);
        EXPECT_EQ(r.left, c.expected.left);
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
        EXPECT_EQ(r.IsEmpty(), c.empty);
    }
}

TEST(ProgressGeometry, SunkenFrameDrawsWhiteFirstThenShadow) {
    FrameEdge edges[kFrameEdges];
    ProgressFrameEdges(200, 30, 1, 2, edges);
    const FrameEdge expected[kFrameEdges] = {
        {0, 28, 200, 2, true},   // bottom
        {199, 0, 1, 30, true},   // right
        {0, 0, 200, 2, false},   // top
        {0, 0, 1, 30, false},    // left
    };
    for (int i = 0; i < kFrameEdges; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(edges[i].x, expected[i].x);
        EXPECT_EQ(edges[i].y, expected[i].y);
        EXPECT_EQ(edges[i].width, expected[i].width);
        EXPECT_EQ(edges[i].height, expected[i].height);
        EXPECT_EQ(edges[i].white, expected[i].white);
    }
    EXPECT_EQ(ProgressTextX(201), 100);
}
