// Window outline and bitmap-font text: the work a skinned window does when
// it is shaped and its status line redrawn.
#include "skin/RegionScan.h"
#include "skin/SkinReader.h"
#include "skinqt/FontRender.h"
#include "skinqt/RegionAdapter.h"
#include "skinqt/SkinImage.h"

#include "BenchApp.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

namespace {

using benchapp::defaultSkinDir;
using benchapp::ensureApp;

// A 1920 x 1200 skin background with a complex outline: a wavy blob with
// holes and islands, magenta around and inside.
const QImage& complexPicture()
{
    static const QImage img = [] {
        QImage pic(1920, 1200, QImage::Format_RGB32);
        pic.fill(qRgb(255, 0, 255));
        QPainter p(&pic);
        p.setRenderHint(QPainter::Antialiasing, false);
        QPainterPath blob;
        for (int i = 0; i <= 720; ++i) {
            const double a = i * M_PI / 360.0;
            const double r = 520 + 60 * std::sin(7 * a) + 25 * std::sin(23 * a);
            const QPointF pt(960 + 1.6 * r * std::cos(a), 600 + r * std::sin(a));
            if (i == 0)
                blob.moveTo(pt);
            else
                blob.lineTo(pt);
        }
        QLinearGradient g(0, 0, 0, 1200);
        g.setColorAt(0, QColor(40, 110, 170));
        g.setColorAt(1, QColor(10, 40, 70));
        p.fillPath(blob, g);
        std::mt19937 rng(42);
        for (int i = 0; i < 300; ++i) {
            const int x = int(rng() % 1800), y = int(rng() % 1100), d = 8 + int(rng() % 60);
            p.setPen(Qt::NoPen);
            p.setBrush(i % 3 ? QColor(255, 0, 255) : QColor(200, 120, 40));
            p.drawEllipse(x, y, d, d * 2 / 3);
        }
        return pic;
    }();
    return img;
}

void BM_RegionFromImage(benchmark::State& state)
{
    ensureApp();
    const QImage& img = complexPicture();
    int rects = 0;
    for (auto _ : state) {
        QRegion r = pelko::RegionFromImage(img);
        rects = r.rectCount();
        benchmark::DoNotOptimize(r);
    }
    state.counters["rects"] = rects;
}
BENCHMARK(BM_RegionFromImage)->Unit(benchmark::kMillisecond);

void BM_RegionScanOnly(benchmark::State& state)
{
    const QImage& img = complexPicture();
    size_t runs = 0;
    for (auto _ : state) {
        auto v = pelko::RegionFromBitmap(reinterpret_cast<const uint32_t*>(img.constBits()), img.width(),
                                         img.height(), int(img.bytesPerLine() / 4), 0xFF00FF, 0);
        runs = v.size();
        benchmark::DoNotOptimize(v);
    }
    state.counters["runs"] = double(runs);
}
BENCHMARK(BM_RegionScanOnly)->Unit(benchmark::kMillisecond);

void BM_QtMaskRoute(benchmark::State& state)
{
    ensureApp();
    const QImage& img = complexPicture();
    int rects = 0;
    for (auto _ : state) {
        QRegion r(QBitmap::fromImage(img.createMaskFromColor(qRgb(255, 0, 255), Qt::MaskOutColor)));
        rects = r.rectCount();
        benchmark::DoNotOptimize(r);
    }
    state.counters["rects"] = rects;
}
BENCHMARK(BM_QtMaskRoute)->Unit(benchmark::kMillisecond);

void BM_DrawFontText(benchmark::State& state)
{
    if (!ensureApp()) {
        state.SkipWithError("needs a QApplication");
        return;
    }
    pelko::MainSkin m;
    pelko::MsgWindowSkin w;
    try {
        pelko::ReadSkin(defaultSkinDir(), m, w);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    pelko::TSkinImage image;
    const bool reread = state.range(0) != 0;
    for (auto _ : state) {
        if (reread)
            pelko::ClearFontCache();
        pelko::DrawFontText(image, "home-Connecting to pop.example.org", m.statusSize.x, m.statusSize.y, m.fontbmp,
                            m.maxchar, true);
    }
}
BENCHMARK(BM_DrawFontText)->Arg(0)->Arg(1)->ArgName("reread_font")->Unit(benchmark::kMicrosecond);

} // namespace
