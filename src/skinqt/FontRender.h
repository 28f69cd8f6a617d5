#pragma once
// Draws a text in a skin's bitmap font onto an image control.
#include "skinqt/SkinImage.h"

#include <QImage>

#include <string>

namespace pelko {

// In this order: the status image (statusImage true) gets the whole text as
// its hint; either image gets the whole text as the text it shows (what
// assistive technology reads); the picture is cleared; the font is loaded
// (a load error is thrown as std::runtime_error, leaving the image without
// picture); the image is resized to W*n+1 x H and gets a magenta picture with the text's
// cells copied in (see LayoutFontText). Text is cut to maxchar characters.
// The count image passes statusImage false: its hint is left alone.
void DrawFontText(TSkinImage& image, const std::string& text, int W, int H, const std::string& fontFile,
                  int maxchar, bool statusImage);

// The same picture without a control (magenta fill, cells copied).
QImage RenderFontText(const QImage& font, const std::string& text, int W, int H, int maxchar,
                      bool statusImage);

// Font pictures are kept between calls, keyed by file name, modification
// time and size, so a changed file is read again. Throws std::runtime_error
// "Cannot load picture <file>" when the file cannot be read.
QImage LoadFontPicture(const std::string& fontFile);
// Forgets the kept font pictures.
void ClearFontCache();

} // namespace pelko
