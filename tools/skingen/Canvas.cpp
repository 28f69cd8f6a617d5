#include "Canvas.h"

#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace skingen {

QImage NewCanvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

namespace {

// Magenta must only ever mean "transparent".
QRgb notMagenta(QRgb c) { return (c & 0xFFFFFF) == (kMagenta & 0xFFFFFF) ? qRgb(254, 0, 255) : c; }

QRgb over(QRgb premul, QColor under)
{
    const int a = qAlpha(premul);
    const int r = qRed(premul) + (under.red() * (255 - a) + 127) / 255;
    const int g = qGreen(premul) + (under.green() * (255 - a) + 127) / 255;
    const int b = qBlue(premul) + (under.blue() * (255 - a) + 127) / 255;
    return qRgb(std::min(r, 255), std::min(g, 255), std::min(b, 255));
}

} // namespace

QImage Flatten(const QImage& art, QColor under, int minAlpha)
{
    const QImage src = art.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            d[x] = qAlpha(s[x]) < minAlpha ? kMagenta : notMagenta(over(s[x], under));
    }
    return out;
}

QImage FlattenOutline(const QImage& art, const QPainterPath& outline)
{
    // The outline itself is drawn without antialiasing: a pixel is either
    // window or desktop, never a blend of the skin with magenta.
    QImage mask(art.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.fillPath(outline, Qt::white);
    }
    const QImage src = art.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x)
            d[x] = qAlpha(m[x]) < 128 ? kMagenta : notMagenta(over(s[x], QColor(0, 0, 0)));
    }
    return out;
}

void MarkBottomLeft(QImage& img) { img.setPixel(0, img.height() - 1, kMagenta); }

void SaveBmp(const QImage& img, const QString& path)
{
    if (!img.convertToFormat(QImage::Format_RGB888).save(path, "BMP")) {
        std::fprintf(stderr, "pelko-skingen: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QImage SoftGlow(const QImage& art, QColor colour, int radius)
{
    const int w = art.width(), h = art.height();
    std::vector<int> a(size_t(w) * h), t(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            a[size_t(y) * w + x] = qAlpha(art.pixel(x, y));
    // Two box blurs (horizontal then vertical) approximate a soft halo.
    for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0, n = 0;
                for (int k = -radius; k <= radius; ++k)
                    if (x + k >= 0 && x + k < w) {
                        sum += a[size_t(y) * w + x + k];
                        ++n;
                    }
                t[size_t(y) * w + x] = sum / std::max(n, 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0, n = 0;
                for (int k = -radius; k <= radius; ++k)
                    if (y + k >= 0 && y + k < h) {
                        sum += t[size_t(y + k) * w + x];
                        ++n;
                    }
                a[size_t(y) * w + x] = sum / std::max(n, 1);
            }
    }
    QImage out(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int al = std::min(255, a[size_t(y) * w + x] * colour.alpha() / 255);
            out.setPixel(x, y, qRgba(colour.red() * al / 255, colour.green() * al / 255,
                                     colour.blue() * al / 255, al));
        }
    return out;
}

QImage RenderGlyphFont(const std::vector<QString>& rows, int W, int H, const GlyphStyle& style)
{
    int columns = 0;
    for (const QString& r : rows)
        columns = std::max(columns, int(r.size()));
    QImage sheet = NewCanvas(columns * W, int(rows.size()) * H);
    for (size_t row = 0; row < rows.size(); ++row) {
        for (int col = 0; col < rows[row].size(); ++col) {
            // Each glyph is drawn in its own cell so nothing spills into a neighbour.
            QImage cell = NewCanvas(W, H);
            {
                QPainter p(&cell);
                p.setRenderHint(QPainter::TextAntialiasing, true);
                p.setFont(style.font);
                p.setPen(style.ink);
                const QString ch = rows[row].mid(col, 1);
                // Glyphs wider than the cell (M, W, @) are narrowed to fit
                // rather than cut off at the cell edge.
                const QRect ink = p.fontMetrics().tightBoundingRect(ch);
                const qreal room = W - 1.0;
                const qreal sx = ink.width() > room ? room / ink.width() : 1.0;
                p.translate(W / 2.0, style.baseline);
                p.scale(sx, 1.0);
                p.drawText(QPointF(-(ink.left() + ink.width() / 2.0), 0), ch);
            }
            QImage glyph = NewCanvas(W, H);
            {
                QPainter p(&glyph);
                if (style.glow.alpha() > 0)
                    p.drawImage(0, 0, SoftGlow(cell, style.glow, 1));
                p.drawImage(0, 0, cell);
            }
            QPainter p(&sheet);
            p.drawImage(col * W, int(row) * H, glyph);
        }
    }
    return Flatten(sheet, style.panel, 48);
}

} // namespace skingen
