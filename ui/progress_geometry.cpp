#include "ui/progress_geometry.h"

#include "base/text.h"

BarRect ProgressFillRect(int32_t width, int32_t height, int32_t percent) {
    // 64-bit product: a wide bar times a large percentage would overflow.
    // One that is not positive truncates to 0 or less, below the minimum.
    int64_t product = static_cast<int64_t>(width - 2) * percent;
    int32_t right = 1;
    if (product > 0) {
        uint32_t remainder;
        uint64_t quotient = DivideBySmall(static_cast<uint64_t>(product), 100, &remainder);
        if (quotient > INT32_MAX) {
            right = INT32_MAX;
        } else if (quotient > 1) {
            right = static_cast<int32_t>(quotient);
        }
    }
    return BarRect{1, 1, right, height - 2};
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
