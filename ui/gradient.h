// Geometry of the background window's vertical gradient: 256 horizontal bands
// from black (band 0, top) to pure blue (band 255, bottom) that fill the
// client area exactly. Portable, no <windows.h>.
#pragma once

#include <stdint.h>

constexpr int kGradientBands = 256;

struct GradientBand {
    int32_t top;     // first pixel row of the band
    int32_t height;  // pixel rows; 0 when the client area is too low for it
    uint8_t blue;    // blue component of the band colour (red and green are 0)
};

// Splits clientHeight pixel rows, starting at row clientTop, into the bands:
// every band gets clientHeight / 256 rows and the last clientHeight % 256
// bands one row more. Below 256 rows only the last clientHeight bands are
// visible (one row each), so the top is not black. A negative height is
// taken as 0.
void ComputeGradientBands(int32_t clientTop, int32_t clientHeight,
                          GradientBand (&bands)[kGradientBands]);
