#include "cli/JsonText.h"

#include "mime/Readable.h"

namespace pelko::cli {

std::string JsonString(const std::string& text)
{
    static const char* hex = "0123456789abcdef";
    const std::string utf8 = ToUtf8(text, "");
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += static_cast<char>(c);
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
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue; // the LF that follows gives the blank
        if (c == '\r' || c == '\n') {
            out += ' ';
        } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            out += '?'; // a server's text must not drive the terminal
        } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            out += '?'; // a C1 control in UTF-8
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

} // namespace pelko::cli
