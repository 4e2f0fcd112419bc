#include "ui/progress_geometry.h"

BarRect ProgressFillRect(int32_t width, int32_t height, int32_t percent) {
    // 64-bit product: a wide bar times a large percentage would overflow.
    int64_t right = static_cast<int64_t>(width - 2) * percent / 100;
    if (right < 1) right = 1;
    if (right > INT32_MAX) right = INT32_MAX;
    return BarRect{1, 1, static_cast<int32_t>(right), height - 2};
}

BarRect ProgressInteriorRect(int32_t width, int32_t height) {
    return BarRect{1, 1, width - 2, height - 2};
}

void ProgressFrameEdges(int32_t width, int32_t height, int32_t borderX, int32_t borderY,
                        FrameEdge (&edges)[kFrameEdges]) {
    edges[0] = FrameEdge{0, height - borderY, width, borderY, true};
    edges[1] = FrameEdge{width - borderX, 0, borderX, height, true};
    edges[2] = FrameEdge{0, 0, width, borderY, false};
    edges[3] = FrameEdge{0, 0, borderX, height, false};
}
