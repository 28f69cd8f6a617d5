#pragma once
// Where each character of a bitmap-font text comes from and where it goes.
// Status font: row 0 holds A-Z, row 1 the characters "(" (40) to "@" (64).
// Count font: one row, column = code - 48 (digits 0-9 in columns 0-9).
#include <string>
#include <vector>

namespace pelko {

struct GlyphCell {
    int srcX, srcY; // top-left of the cell in the font picture (may lie outside it)
    int dstX;       // left of the cell in the text picture (top is always 0)
};

struct FontTextLayout {
    int width, height; // W * n + 1 by H, n = characters kept (skipped ones too)
    std::vector<GlyphCell> cells;
};

// The largest cell a skin may give a font (the skin reader refuses more;
// the layout treats a larger one as this size): no font needs more.
constexpr int kMaxFontCell = 1024;
// The most characters of a status text a skin may have drawn (maxchar).
constexpr int kMaxFontChars = 256;
// The widest text picture: wider than any screen; characters whose cell
// would end past it are left out, as those past maxchar are.
constexpr int kMaxTextPictureWidth = 4096;

// text is cut to maxchar characters (none left when maxchar <= 0), then to
// the characters whose cells fit in kMaxTextPictureWidth, and upper-cased
// (ASCII). A blank advances the pen by W; characters outside 40-90 are
// skipped without advancing. The pen starts at x = 1. Negative W or H count
// as 0. The picture is at most kMaxTextPictureWidth by kMaxFontCell.
FontTextLayout LayoutFontText(const std::string& text, int W, int H, int maxchar, bool statusImage);

} // namespace pelko
