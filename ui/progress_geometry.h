// Pixel geometry of the percentage bar: the filled part for a percentage and
// the four edges of its sunken frame. Portable, no <windows.h>.
#pragma once

#include <stdint.h>

// A rectangle in client pixels; right and bottom are exclusive.
struct BarRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
    bool IsEmpty() const { return right <= left || bottom <= top; }
};

// The dark (filled) part of a bar of width x height pixels at percent:
// (1, 1, (width - 2) * percent / 100, height - 2), the division truncating
// toward zero. Values above 100 reach past the interior (the window clips
// them); a zero or negative percentage gives an empty rectangle rather than
// one whose right edge lies left of its left edge.
BarRect ProgressFillRect(int32_t width, int32_t height, int32_t percent);

// The interior that SetPos repaints: (1, 1, width - 2, height - 2). The frame
// pixels outside it are left as they are.
BarRect ProgressInteriorRect(int32_t width, int32_t height);

// The frame edges in drawing order, as (x, y, w, h) blocks for PatBlt with
// border widths borderX and borderY: bottom and right in white first, then
// top and left in the shadow colour, which therefore owns both corners
// where they meet.
struct FrameEdge {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
    bool white;  // true: white, false: shadow colour
};
constexpr int kFrameEdges = 4;
void ProgressFrameEdges(int32_t width, int32_t height, int32_t borderX, int32_t borderY,
                        FrameEdge (&edges)[kFrameEdges]);

// Where the percentage text is anchored (horizontal centre, top).
inline int32_t ProgressTextX(int32_t width) { return width / 2; }
constexpr int32_t kProgressTextY = 5;
