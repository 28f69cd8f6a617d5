#include "cli/TerminalText.h"

#include "mime/TextUtil.h"

namespace pelko::cli {

std::string TerminalText(const std::string& text, Lines lines)
{
    static const char* hex = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char32_t c = NextUtf8(text, i);
        if (lines == Lines::Kept && (c == '\n' || c == '\t')) {
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if ((c >= 0x80 && c < 0xA0) || IsFormatCharacter(c) || c == 0x2028 || c == 0x2029) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4)
                out += hex[(c >> shift) & 15];
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

} // namespace pelko::cli
