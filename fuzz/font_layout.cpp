// The bitmap-font layout with any text, cell size and character limit. Every
// cell must land inside the picture the layout asks for, and the cell's
// source must be the one its character names.
#include "FuzzSupport.h"
#include "skin/FontLayout.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>

using namespace pelko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int W = in.ConsumeIntegral<int>();
    const int H = in.ConsumeIntegral<int>();
    const int maxchar = in.ConsumeIntegral<int>();
    const bool status = in.ConsumeBool();
    const std::string text = in.ConsumeRemainingBytesAsString();

    const FontTextLayout l = LayoutFontText(text, W, H, maxchar, status);
    const int w = std::clamp(W, 0, kMaxFontCell), h = std::clamp(H, 0, kMaxFontCell);
    size_t kept = maxchar <= 0 ? 0 : std::min(text.size(), size_t(maxchar));
    if (w > 0)
        kept = std::min(kept, size_t((kMaxTextPictureWidth - 1) / w));

    FUZZ_CHECK(l.height == h);
    FUZZ_CHECK(l.width >= 1 && l.width <= kMaxTextPictureWidth);
    FUZZ_CHECK(int64_t(l.width) == int64_t(w) * int64_t(kept) + 1);
    FUZZ_CHECK(l.cells.size() <= kept);

    // Walk the kept characters alongside the cells.
    size_t cell = 0;
    int64_t pen = 1;
    for (size_t i = 0; i < kept; ++i) {
        int code = static_cast<unsigned char>(text[i]);
        if (code >= 'a' && code <= 'z')
            code -= 32;
        if (code == ' ') {
            pen += w;
            continue;
        }
        if (code < 40 || code > 90)
            continue;
        FUZZ_CHECK(cell < l.cells.size());
        const GlyphCell& g = l.cells[cell++];
        FUZZ_CHECK(g.dstX == pen);
        FUZZ_CHECK(int64_t(g.dstX) + w <= l.width);
        const int col = !status ? code - 48 : code >= 'A' ? code - 'A' : code - 40;
        const int row = status && code < 'A' ? 1 : 0;
        FUZZ_CHECK(g.srcX == col * w && g.srcY == row * h);
        pen += w;
    }
    FUZZ_CHECK(cell == l.cells.size());
    return 0;
}
