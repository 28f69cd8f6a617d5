#include "wire/ImapMailboxName.h"

#include <cstdint>
#include <vector>

namespace pelko {

namespace {

// The next code point of valid UTF-8 at s[i] (i moved past it), U+FFFD for
// an octet that starts none.
uint32_t NextCodePoint(const std::string& s, size_t& i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
        ++i;
        return c;
    }
    const int extra = c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
    if (extra < 0 || i + static_cast<size_t>(extra) >= s.size()) {
        ++i;
        return 0xFFFD;
    }
    uint32_t cp = c & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char d = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((d & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (d & 0x3F);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    if (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

void AppendModifiedBase64(std::string& out, const std::vector<uint16_t>& units)
{
    static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";
    uint32_t bits = 0;
    int count = 0;
    for (uint16_t u : units) {
        bits = (bits << 16) | u;
        count += 16;
        while (count >= 6) {
            count -= 6;
            out += alphabet[(bits >> count) & 0x3F];
        }
        bits &= (1u << count) - 1;
    }
    if (count > 0)
        out += alphabet[(bits << (6 - count)) & 0x3F];
}

} // namespace

std::string EncodeMailboxName(const std::string& utf8)
{
    std::string out;
    std::vector<uint16_t> run;
    auto flush = [&] {
        if (run.empty())
            return;
        out += '&';
        AppendModifiedBase64(out, run);
        out += '-';
        run.clear();
    };
    for (size_t i = 0; i < utf8.size();) {
        const uint32_t cp = NextCodePoint(utf8, i);
        if (cp >= 0x20 && cp <= 0x7E) {
            flush();
            out += cp == '&' ? std::string("&-") : std::string(1, static_cast<char>(cp));
        } else if (cp >= 0x10000) {
            const uint32_t v = cp - 0x10000;
            run.push_back(static_cast<uint16_t>(0xD800 + (v >> 10)));
            run.push_back(static_cast<uint16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            run.push_back(static_cast<uint16_t>(cp));
        }
    }
    flush();
    return out;
}

bool QuotableImapString(const std::string& text)
{
    for (char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == 0 || u == '\r' || u == '\n' || u >= 0x80)
            return false;
    }
    return true;
}

std::string ImapQuoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace pelko
