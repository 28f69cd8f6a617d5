#include "skin/RegionScan.h"

#include <algorithm>
#include <cstddef>

namespace pelko {

namespace {

// Appends the runs of one row. IsClear tells a cut-out pixel.
template <class IsClear>
void scanRow(const uint32_t* row, int width, int32_t y, IsClear isClear, std::vector<RegionRect>& out)
{
    int x = 0;
    while (x < width) {
        while (x < width && isClear(row[x]))
            ++x;
        if (x >= width)
            break;
        const int x0 = x;
        while (x < width && !isClear(row[x]))
            ++x;
        out.push_back({x0, y, x, y + 1});
    }
}

template <class IsClear>
void scanAll(const uint32_t* pixels, int width, int height, int stride, IsClear isClear,
             std::vector<RegionRect>& out)
{
    for (int y = 0; y < height; ++y)
        scanRow(pixels + std::ptrdiff_t(y) * stride, width, y, isClear, out);
}

uint32_t channel(uint32_t colourValue, int index) { return (colourValue >> (8 * index)) & 0xFF; }

} // namespace

std::vector<RegionRect> RegionFromBitmap(const uint32_t* pixels, int width, int height,
                                         int strideInPixels, uint32_t transparent, uint32_t tolerance)
{
    std::vector<RegionRect> out;
    if (!pixels || width <= 0 || height <= 0 || strideInPixels < width)
        return out;
    out.reserve(size_t(height) * 2);

    // Colour values keep red in the low byte; the pixels keep blue there.
    const uint32_t r = channel(transparent, 0), g = channel(transparent, 1), b = channel(transparent, 2);
    if ((tolerance & 0xFFFFFF) == 0) {
        const uint32_t key = r << 16 | g << 8 | b;
        scanAll(pixels, width, height, strideInPixels,
                [key](uint32_t p) { return (p & 0xFFFFFF) == key; }, out);
        return out;
    }
    const uint32_t rHigh = std::min<uint32_t>(r + channel(tolerance, 0), 255);
    const uint32_t gHigh = std::min<uint32_t>(g + channel(tolerance, 1), 255);
    const uint32_t bHigh = std::min<uint32_t>(b + channel(tolerance, 2), 255);
    // (v - low) <= (high - low) in unsigned arithmetic tests low <= v <= high.
    const uint32_t rSpan = rHigh - r, gSpan = gHigh - g, bSpan = bHigh - b;
    scanAll(pixels, width, height, strideInPixels,
            [=](uint32_t p) {
                return ((p >> 16 & 0xFF) - r) <= rSpan && ((p >> 8 & 0xFF) - g) <= gSpan &&
                       ((p & 0xFF) - b) <= bSpan;
            },
            out);
    return out;
}

std::vector<RegionRect> MergeIdenticalRows(const std::vector<RegionRect>& runs)
{
    std::vector<RegionRect> out;
    out.reserve(runs.size());
    const size_t n = runs.size();
    // The pending band: runs[bandStart, bandEnd) with its bottom moved down
    // over every following band that has exactly the same runs.
    size_t bandStart = 0, bandEnd = 0;
    int32_t bandBottom = 0;
    auto flush = [&] {
        for (size_t i = bandStart; i < bandEnd; ++i)
            out.push_back({runs[i].left, runs[i].top, runs[i].right, bandBottom});
    };
    size_t i = 0;
    while (i < n) {
        size_t j = i + 1;
        while (j < n && runs[j].top == runs[i].top && runs[j].bottom == runs[i].bottom)
            ++j;
        bool same = bandEnd > bandStart && runs[i].top == bandBottom && j - i == bandEnd - bandStart;
        for (size_t k = 0; same && k < j - i; ++k)
            same = runs[i + k].left == runs[bandStart + k].left && runs[i + k].right == runs[bandStart + k].right;
        if (same) {
            bandBottom = runs[i].bottom;
        } else {
            flush();
            bandStart = i;
            bandEnd = j;
            bandBottom = runs[i].bottom;
        }
        i = j;
    }
    flush();
    return out;
}

std::vector<RegionRect> CoarsenRows(const std::vector<RegionRect>& runs, int bandHeight)
{
    if (runs.empty() || bandHeight <= 1)
        return MergeIdenticalRows(runs);
    int32_t minTop = runs.front().top, maxBottom = runs.front().bottom;
    for (const RegionRect& r : runs) {
        minTop = std::min(minTop, r.top);
        maxBottom = std::max(maxBottom, r.bottom);
    }
    const int64_t bandCount = (int64_t(maxBottom) - minTop + bandHeight - 1) / bandHeight;
    std::vector<std::vector<std::pair<int32_t, int32_t>>> bands(static_cast<size_t>(bandCount));
    for (const RegionRect& r : runs) {
        if (r.right <= r.left || r.bottom <= r.top)
            continue;
        const int64_t first = (int64_t(r.top) - minTop) / bandHeight;
        const int64_t last = (int64_t(r.bottom) - 1 - minTop) / bandHeight;
        for (int64_t b = first; b <= last; ++b)
            bands[size_t(b)].push_back({r.left, r.right});
    }
    std::vector<RegionRect> banded;
    for (size_t b = 0; b < bands.size(); ++b) {
        auto& spans = bands[b];
        if (spans.empty())
            continue;
        std::sort(spans.begin(), spans.end());
        const int32_t top = int32_t(minTop + int64_t(b) * bandHeight);
        const int32_t bottom = int32_t(std::min<int64_t>(int64_t(top) + bandHeight, maxBottom));
        // Union of the spans; touching spans join (a region never has two
        // rectangles side by side in one band).
        int32_t left = spans[0].first, right = spans[0].second;
        for (size_t k = 1; k < spans.size(); ++k) {
            if (spans[k].first <= right) {
                right = std::max(right, spans[k].second);
            } else {
                banded.push_back({left, top, right, bottom});
                left = spans[k].first;
                right = spans[k].second;
            }
        }
        banded.push_back({left, top, right, bottom});
    }
    return MergeIdenticalRows(banded);
}

int64_t RegionArea(const std::vector<RegionRect>& rects)
{
    int64_t area = 0;
    for (const RegionRect& r : rects)
        area += int64_t(r.right - r.left) * (r.bottom - r.top);
    return area;
}

} // namespace pelko
