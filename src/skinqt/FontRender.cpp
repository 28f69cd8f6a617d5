#include "skinqt/FontRender.h"

#include "skin/FontLayout.h"

#include <algorithm>
#include <list>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>

namespace pelko {

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

// A few fonts are in use at a time (the status and the count font, maybe a
// previewed skin's); the oldest entry goes first.
struct CachedFont {
    std::string file;
    int64_t mtimeNs = 0;
    int64_t size = 0;
    ino_t inode = 0;
    QImage picture; // Format_RGB32
};

constexpr size_t kCachedFonts = 4;
std::mutex cacheMutex;
std::list<CachedFont> cache;

} // namespace

QImage LoadFontPicture(const std::string& fontFile)
{
    struct stat st {};
    if (stat(fontFile.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        throw std::runtime_error("Cannot load picture " + fontFile);
    const int64_t mtimeNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    {
        std::lock_guard<std::mutex> lock(cacheMutex);
        for (auto it = cache.begin(); it != cache.end(); ++it) {
            if (it->file == fontFile && it->mtimeNs == mtimeNs && it->size == int64_t(st.st_size) &&
                it->inode == st.st_ino) {
                cache.splice(cache.begin(), cache, it);
                return cache.front().picture;
            }
        }
    }
    QImage img;
    if (!img.load(QString::fromUtf8(fontFile.data(), int(fontFile.size()))) || img.isNull())
        throw std::runtime_error("Cannot load picture " + fontFile);
    img = img.convertToFormat(QImage::Format_RGB32);

    std::lock_guard<std::mutex> lock(cacheMutex);
    cache.remove_if([&](const CachedFont& c) { return c.file == fontFile; });
    cache.push_front({fontFile, mtimeNs, int64_t(st.st_size), st.st_ino, img});
    if (cache.size() > kCachedFonts)
        cache.pop_back();
    return img;
}

void ClearFontCache()
{
    std::lock_guard<std::mutex> lock(cacheMutex);
    cache.clear();
}

namespace {

QImage renderLayout(const QImage& fontIn, const FontTextLayout& layout, int W)
{
    QImage out(layout.width, layout.height, QImage::Format_RGB32);
    if (out.isNull())
        return out; // nothing to show (a zero height, or beyond what fits in memory)
    out.fill(kMagenta);

    const QImage font = fontIn.format() == QImage::Format_RGB32 || fontIn.format() == QImage::Format_ARGB32
                            ? fontIn
                            : fontIn.convertToFormat(QImage::Format_RGB32);
    const int cellW = std::clamp(W, 0, kMaxFontCell), cellH = layout.height;
    for (const GlyphCell& cell : layout.cells) {
        // Only the part of the cell that lies inside both pictures is copied;
        // the rest keeps the transparent fill.
        const int x0 = std::max({0, -cell.srcX, -cell.dstX});
        const int x1 = std::min({cellW, font.width() - cell.srcX, out.width() - cell.dstX});
        const int y0 = std::max(0, -cell.srcY);
        const int y1 = std::min({cellH, font.height() - cell.srcY, out.height()});
        if (x1 <= x0 || y1 <= y0)
            continue;
        for (int y = y0; y < y1; ++y) {
            const QRgb* src = reinterpret_cast<const QRgb*>(font.constScanLine(cell.srcY + y)) + cell.srcX + x0;
            QRgb* dst = reinterpret_cast<QRgb*>(out.scanLine(y)) + cell.dstX + x0;
            for (int x = 0; x < x1 - x0; ++x)
                dst[x] = src[x] | 0xFF000000;
        }
    }
    return out;
}

} // namespace

QImage RenderFontText(const QImage& font, const std::string& text, int W, int H, int maxchar,
                      bool statusImage)
{
    return renderLayout(font, LayoutFontText(text, W, H, maxchar, statusImage), W);
}

void DrawFontText(TSkinImage& image, const std::string& text, int W, int H, const std::string& fontFile,
                  int maxchar, bool statusImage)
{
    if (statusImage)
        image.setHint(text);
    image.setShownText(text);
    image.clearPicture();
    const QImage font = LoadFontPicture(fontFile);
    const FontTextLayout layout = LayoutFontText(text, W, H, maxchar, statusImage);
    image.resize(layout.width, layout.height);
    image.setPicture(renderLayout(font, layout, W));
}

} // namespace pelko
