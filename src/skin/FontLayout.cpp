#include "skin/FontLayout.h"

#include <algorithm>

namespace pelko {

FontTextLayout LayoutFontText(const std::string& text, int W, int H, int maxchar, bool statusImage)
{
    W = std::clamp(W, 0, kMaxFontCell);
    H = std::clamp(H, 0, kMaxFontCell);
    size_t n = maxchar <= 0 ? 0 : std::min(text.size(), size_t(maxchar));
    if (W > 0)
        n = std::min(n, size_t((kMaxTextPictureWidth - 1) / W));

    FontTextLayout layout;
    layout.width = W * int(n) + 1;
    layout.height = H;

    int pen = 1;
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
        layout.cells.push_back({col * W, row * H, pen});
        pen += W;
    }
    return layout;
}

} // namespace pelko
