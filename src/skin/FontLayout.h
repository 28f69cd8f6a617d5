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

// Cells larger than this are treated as this size: no font needs them, and
// it keeps the picture size far from overflow.
constexpr int kMaxFontCell = 4096;

// text is cut to maxchar characters (none left when maxchar <= 0) and
// upper-cased (ASCII). A blank advances the pen by W; characters outside
// 40-90 are skipped without advancing. The pen starts at x = 1. Negative W
// or H count as 0.
FontTextLayout LayoutFontText(const std::string& text, int W, int H, int maxchar, bool statusImage);

} // namespace pelko
