#include "skin/FontLayout.h"

#include <algorithm>
#include <climits>

namespace pelko {

FontTextLayout LayoutFontText(const std::string& text, int W, int H, int maxchar, bool statusImage)
{
    W = std::clamp(W, 0, kMaxFontCell);
    H = std::clamp(H, 0, kMaxFontCell);
    const size_t n = maxchar <= 0 ? 0 : std::min(text.size(), size_t(maxchar));

    FontTextLayout layout;
    // n is below INT_MAX and W at most kMaxFontCell, yet the product may not be.
    const int64_t width = int64_t(W) * int64_t(n) + 1;
    layout.width = int(std::min<int64_t>(width, INT_MAX));
    layout.height = H;

    int64_t pen = 1;
    for (size_t i = 0; i < n; ++i) {
        int code = static_cast<unsigned char>(text[i]);
        if (code >= 'a' && code <= 'z')
            code -= 'a' - 'A';
        if (code == ' ') {
            pen += W;
            continue;
        }
        if (code < 40 || code > 90)
            continue;
        int col = 0, row = 0;
        if (!statusImage)
            col = code - 48;
        else if (code >= 'A')
            col = code - 'A';
        else {
            col = code - 40;
            row = 1;
        }
        if (pen <= INT_MAX - W)
            layout.cells.push_back({col * W, row * H, int(pen)});
        pen += W;
    }
    return layout;
}

} // namespace pelko
