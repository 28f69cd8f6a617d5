#pragma once
// Window outline from a picture: the runs of pixels that are not the
// transparent colour, as rectangles (right and bottom exclusive).
#include <cstdint>
#include <vector>

namespace pelko {

struct RegionRect {
    int32_t left, top, right, bottom;
};

inline bool operator==(const RegionRect& a, const RegionRect& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// pixels: 32-bit words 0xAARRGGBB (alpha ignored), rows strideInPixels apart.
// transparent and tolerance are colour values with red in the low byte. A
// pixel is cut out when each channel lies in [t, min(t + tol, 255)].
// Result: one-pixel-high runs, top row first, left to right within a row.
std::vector<RegionRect> RegionFromBitmap(const uint32_t* pixels, int width, int height,
                                         int strideInPixels, uint32_t transparent, uint32_t tolerance);

// Consecutive rows whose runs are identical become one taller rectangle per
// run: the same outline with far fewer rectangles. Input as given by
// RegionFromBitmap (or already merged); output stays sorted by top, then left.
std::vector<RegionRect> MergeIdenticalRows(const std::vector<RegionRect>& runs);

// A coarser outline that still covers every run: rows are grouped in bands
// of bandHeight, each band takes the union of its rows' runs, then identical
// bands are merged. Used when an outline has too many rectangles for the
// window system.
std::vector<RegionRect> CoarsenRows(const std::vector<RegionRect>& runs, int bandHeight);

// Number of pixels covered (the rectangles do not overlap).
int64_t RegionArea(const std::vector<RegionRect>& rects);

} // namespace pelko
