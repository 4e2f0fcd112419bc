#include "ui/gradient.h"

void ComputeGradientBands(int32_t clientTop, int32_t clientHeight,
                          GradientBand (&bands)[kGradientBands]) {
    if (clientHeight < 0) clientHeight = 0;
    const int32_t q = clientHeight / kGradientBands;
    const int32_t r = clientHeight % kGradientBands;
    int32_t y = clientTop;
    for (int i = 0; i < kGradientBands; ++i) {
        const int32_t height = i > kGradientBands - 1 - r ? q + 1 : q;
        bands[i] = GradientBand{y, height, static_cast<uint8_t>(i)};
        y += height;
    }
}
