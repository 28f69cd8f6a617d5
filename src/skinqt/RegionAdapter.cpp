#include "skinqt/RegionAdapter.h"

#include "skin/RegionScan.h"

#include <QRect>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>

namespace pelko {

namespace {

constexpr uint32_t kMagentaValue = 0xFF00FF; // red 255, green 0, blue 255

std::atomic<bool> coarseReported{false};

QRegion toRegion(const std::vector<RegionRect>& rects)
{
    std::vector<QRect> qrects;
    qrects.reserve(rects.size());
    for (const RegionRect& r : rects)
        qrects.emplace_back(r.left, r.top, r.right - r.left, r.bottom - r.top);
    QRegion region;
    // The runs are already y-x banded and never touch side by side, as
    // setRects requires; one call instead of a union per rectangle.
    if (!qrects.empty())
        region.setRects(qrects.data(), int(qrects.size()));
    return region;
}

} // namespace

QRegion RegionFromImage(const QImage& img)
{
    if (img.isNull())
        return QRegion();
    const QImage px = img.format() == QImage::Format_RGB32 || img.format() == QImage::Format_ARGB32
                          ? img
                          : img.convertToFormat(QImage::Format_RGB32);
    const std::vector<RegionRect> runs =
        RegionFromBitmap(reinterpret_cast<const uint32_t*>(px.constBits()), px.width(), px.height(),
                         int(px.bytesPerLine() / 4), kMagentaValue, 0);
    std::vector<RegionRect> rects = MergeIdenticalRows(runs);
    if (rects.size() <= size_t(kMaxShapeRects))
        return toRegion(rects);

    // Too fine for the window system: a coarser outline that still covers
    // every visible pixel, so the window never vanishes.
    const size_t fine = rects.size();
    int band = 2;
    while (true) {
        rects = CoarsenRows(runs, band);
        if (rects.size() <= size_t(kMaxShapeRects) || band >= px.height())
            break;
        band *= 2;
    }
    if (rects.size() > size_t(kMaxShapeRects)) {
        int32_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, b = INT32_MIN;
        for (const RegionRect& rc : runs) {
            l = std::min(l, rc.left);
            t = std::min(t, rc.top);
            r = std::max(r, rc.right);
            b = std::max(b, rc.bottom);
        }
        rects = {{l, t, r, b}};
    }
    if (!coarseReported.exchange(true))
        std::fprintf(stderr,
                     "Pelko: the window outline needs %zu rectangles (at most %d are safe); "
                     "using a coarser outline of %zu\n",
                     fine, kMaxShapeRects, rects.size());
    return toRegion(rects);
}

bool ApplyWindowShape(QWidget* w, const QImage& img)
{
    if (!w)
        return false;
    const QRegion region = RegionFromImage(img);
    if (region.isEmpty()) {
        w->clearMask();
        return false;
    }
    w->setMask(region);
    return true;
}

} // namespace pelko
