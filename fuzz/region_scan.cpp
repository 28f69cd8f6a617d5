// The window-outline scan against a pixel-by-pixel reading of the same
// picture, and the two rectangle reducers against the runs they start from.
#include "FuzzSupport.h"
#include "skin/RegionScan.h"

#include <algorithm>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

using namespace pelko;

namespace {

bool clearPixel(uint32_t p, uint32_t t, uint32_t tol)
{
    for (int c = 0; c < 3; ++c) {
        const uint32_t lo = (t >> (8 * c)) & 0xFF;
        const uint32_t hi = std::min<uint32_t>(lo + ((tol >> (8 * c)) & 0xFF), 255);
        // colour values keep red low, pixels keep blue low
        const uint32_t v = (p >> (16 - 8 * c)) & 0xFF;
        if (v < lo || v > hi)
            return false;
    }
    return true;
}

// Marks the rectangles on a width x height grid; false when one leaves it or
// two overlap.
bool paint(const std::vector<RegionRect>& rects, int width, int height, std::vector<uint8_t>& grid)
{
    grid.assign(size_t(width) * size_t(height), 0);
    for (const RegionRect& r : rects) {
        if (r.left < 0 || r.top < 0 || r.right > width || r.bottom > height || r.left >= r.right ||
            r.top >= r.bottom)
            return false;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                uint8_t& cell = grid[size_t(y) * size_t(width) + size_t(x)];
                if (cell)
                    return false;
                cell = 1;
            }
    }
    return true;
}

bool sortedByTopThenLeft(const std::vector<RegionRect>& rects)
{
    for (size_t i = 1; i < rects.size(); ++i) {
        const RegionRect& a = rects[i - 1];
        const RegionRect& b = rects[i];
        if (b.top < a.top || (b.top == a.top && b.left < a.left))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int width = in.ConsumeIntegralInRange<int>(0, 64);
    const int height = in.ConsumeIntegralInRange<int>(0, 64);
    const int stride = width + in.ConsumeIntegralInRange<int>(0, 3);
    const uint32_t transparent = in.ConsumeIntegral<uint32_t>();
    const uint32_t tolerance = in.ConsumeBool() ? 0 : in.ConsumeIntegral<uint32_t>();
    const int band = in.ConsumeIntegralInRange<int>(-1, 20);

    // Pixels from a small palette so that runs of the transparent colour occur.
    const uint32_t key = (transparent & 0xFF) << 16 | (transparent & 0xFF00) | (transparent >> 16 & 0xFF);
    const uint32_t palette[4] = {key, 0xFF000000u | key, in.ConsumeIntegral<uint32_t>(),
                                 in.ConsumeIntegral<uint32_t>()};
    std::vector<uint32_t> pixels(size_t(stride) * size_t(height) + 1);
    for (uint32_t& p : pixels)
        p = palette[in.ConsumeIntegralInRange<int>(0, 3)];

    const std::vector<RegionRect> runs =
        RegionFromBitmap(pixels.data(), width, height, stride, transparent, tolerance);

    std::vector<uint8_t> grid;
    FUZZ_CHECK(paint(runs, width, height, grid));
    FUZZ_CHECK(sortedByTopThenLeft(runs));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool solid = !clearPixel(pixels[size_t(y) * size_t(stride) + size_t(x)], transparent, tolerance);
            FUZZ_CHECK(bool(grid[size_t(y) * size_t(width) + size_t(x)]) == solid);
        }
    for (const RegionRect& r : runs)
        FUZZ_CHECK(r.bottom == r.top + 1);

    // Merging keeps exactly the same pixels.
    const std::vector<RegionRect> merged = MergeIdenticalRows(runs);
    std::vector<uint8_t> mergedGrid;
    FUZZ_CHECK(paint(merged, width, height, mergedGrid));
    FUZZ_CHECK(mergedGrid == grid);
    FUZZ_CHECK(sortedByTopThenLeft(merged));
    FUZZ_CHECK(merged.size() <= runs.size());
    FUZZ_CHECK(RegionArea(merged) == RegionArea(runs));

    // Coarsening covers every pixel (and may add some), and stays in the picture.
    const std::vector<RegionRect> coarse = CoarsenRows(runs, band);
    std::vector<uint8_t> coarseGrid;
    FUZZ_CHECK(paint(coarse, width, height, coarseGrid));
    FUZZ_CHECK(sortedByTopThenLeft(coarse));
    for (size_t i = 0; i < grid.size(); ++i)
        FUZZ_CHECK(!grid[i] || coarseGrid[i]);
    return 0;
}
