#include "mime/TextUtil.h"

#include <ostream>

namespace pelko {

namespace {

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

char upperChar(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

} // namespace

std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && isBlankOrControl(s[b]))
        ++b;
    while (e > b && isBlankOrControl(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::string SplitFirst(std::string& s, const std::string& delimiter)
{
    const size_t p = delimiter.empty() ? std::string::npos : s.find(delimiter);
    if (p == std::string::npos) {
        std::string head;
        head.swap(s);
        return head;
    }
    std::string head = s.substr(0, p);
    s.erase(0, p + delimiter.size());
    return head;
}

std::string UpperAscii(std::string s)
{
    for (char& c : s)
        c = upperChar(c);
    return s;
}

bool StartsWithIgnoreCase(const std::string& s, const std::string& prefix)
{
    if (prefix.size() > s.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (upperChar(s[i]) != upperChar(prefix[i]))
            return false;
    return true;
}

std::string ExtractBetween(const std::string& s, const std::string& start, const std::string& end,
                           bool ignoreCase)
{
    if (start.empty() || end.empty())
        return std::string();
    // Positions found in the folded copy are valid in s: folding keeps lengths.
    const std::string hay = ignoreCase ? UpperAscii(s) : s;
    const std::string st = ignoreCase ? UpperAscii(start) : start;
    const std::string en = ignoreCase ? UpperAscii(end) : end;
    const size_t p = hay.find(st);
    if (p == std::string::npos)
        return std::string();
    const size_t from = p + st.size();
    const size_t q = hay.find(en, from);
    if (q == std::string::npos)
        return std::string();
    return s.substr(from, q - from);
}

std::string ReplaceText(const std::string& s, const std::string& oldText, const std::string& newText,
                        bool replaceAll, bool ignoreCase)
{
    if (oldText.empty())
        return s;
    const std::string hay = ignoreCase ? UpperAscii(s) : s;
    const std::string needle = ignoreCase ? UpperAscii(oldText) : oldText;
    std::string out;
    size_t pos = 0;
    while (pos <= s.size()) {
        const size_t hit = hay.find(needle, pos);
        if (hit == std::string::npos)
            break;
        out.append(s, pos, hit - pos);
        out += newText;
        pos = hit + needle.size();
        if (!replaceAll)
            break;
    }
    if (pos < s.size())
        out.append(s, pos, std::string::npos);
    return out;
}

int IndexOfText(const std::string& s, const std::vector<std::string>& table)
{
    for (size_t i = 0; i < table.size(); ++i)
        if (table[i] == s)
            return static_cast<int>(i);
    return -1;
}

std::string JoinWithCommas(const std::vector<std::string>& items)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ',';
        out += items[i];
    }
    return out;
}

void WriteStreamLine(std::ostream& out, const std::string& s)
{
    if (!s.empty())
        out.write(s.data(), static_cast<std::streamsize>(s.size()));
    out.write("\r\n", 2);
}

std::string JoinLines(const std::vector<std::string>& lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i)
            out += '\n';
        out += lines[i];
    }
    return out;
}

std::string LineTooLongText(size_t maxLength)
{
    return "Line too long: the server sent more than " + std::to_string(maxLength) +
           " bytes without a line end.";
}

char32_t NextUtf8(const std::string& text, size_t& i)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = b(i);
    size_t n = 0;
    char32_t cp = 0, least = 0;
    if (c < 0x80) {
        ++i;
        return c;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 1, cp = c & 0x1F, least = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 2, cp = c & 0x0F, least = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 3, cp = c & 0x07, least = 0x10000;
    } else {
        ++i;
        return 0xFFFD;
    }
    if (text.size() - i <= n) {
        ++i;
        return 0xFFFD;
    }
    for (size_t k = 1; k <= n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += n + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsFormatCharacter(char32_t c)
{
    return c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2069) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB);
}

std::string WithoutFormatCharacters(const std::string& utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextUtf8(utf8, i);
        if (!IsFormatCharacter(c))
            AppendUtf8(out, c);
    }
    return out;
}

std::string ShownLine(const std::string& utf8, size_t maxChars)
{
    std::string out;
    size_t shown = 0;
    for (size_t i = 0; i < utf8.size();) {
        char32_t c = NextUtf8(utf8, i);
        if (IsFormatCharacter(c))
            continue;
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || c == 0x2028 || c == 0x2029)
            c = ' ';
        if (shown == maxChars) {
            // One more character to show: the line is cut, its last place says so.
            if (!out.empty()) {
                size_t end = out.size();
                do
                    --end;
                while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80);
                out.resize(end);
                out += "\xE2\x80\xA6";
            }
            break;
        }
        AppendUtf8(out, c);
        ++shown;
    }
    return out;
}

} // namespace pelko
