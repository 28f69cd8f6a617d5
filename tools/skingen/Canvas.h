#pragma once
// Drawing helpers shared by the skins: pictures are painted with
// antialiasing on a transparent canvas, then flattened onto magenta (the
// skins' transparent colour) with a hard edge, so no pinkish blend ever
// appears where the desktop or the window shows through.
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainterPath>
#include <QString>

#include <vector>

namespace skingen {

constexpr QRgb kMagenta = 0xFFFF00FF;

// A transparent ARGB canvas to paint on.
QImage NewCanvas(int w, int h);

// The finished picture: pixels covered less than minAlpha (0-255) become
// magenta; the others are laid over `under` (the colour the picture will sit
// on) so their soft edge blends into it. Exact magenta inside is nudged.
QImage Flatten(const QImage& art, QColor under, int minAlpha = 128);

// Like Flatten, but lays the picture over a real background picture: used
// for the window backgrounds whose outline must be exact.
QImage FlattenOutline(const QImage& art, const QPainterPath& outline);

// The transparent colour of an image control is its bottom-left pixel.
void MarkBottomLeft(QImage& img);

// Writes a 24-bit BMP; exits with a message on failure.
void SaveBmp(const QImage& img, const QString& path);

// A bitmap font: rows of characters, each centred in a W x H cell, drawn
// in `ink` with a soft glow and laid over the LCD colour `panel`.
struct GlyphStyle {
    QFont font;
    QColor ink, glow, panel;
    int baseline; // y of the baseline inside the cell
};
QImage RenderGlyphFont(const std::vector<QString>& rows, int W, int H, const GlyphStyle& style);

// Blurs the alpha of a premultiplied image (a small box blur, `passes` times).
QImage SoftGlow(const QImage& art, QColor colour, int radius);

} // namespace skingen
