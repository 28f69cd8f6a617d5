#include "cli/JsonText.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"

namespace pelko::cli {

std::string JsonString(const std::string& text)
{
    static const char* hex = "0123456789abcdef";
    const std::string utf8 = ToUtf8(text, "");
    std::string out = "\"";
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextUtf8(utf8, i);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            // Controls (C1 as well) and what reorders or hides text are
            // escaped, so the output read on a terminal is what it says.
            if (c < 0x20 || (c >= 0x7F && c < 0xA0) || IsFormatCharacter(c) || c == 0x2028 || c == 0x2029) {
                out += "\\u";
                for (int shift = 12; shift >= 0; shift -= 4)
                    out += hex[(c >> shift) & 15];
            } else {
                AppendUtf8(out, c);
            }
        }
    }
    out += '"';
    return out;
}

std::string OneLine(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // the LF that follows gives the blank
        out += (c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

} // namespace pelko::cli
