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

} // namespace pelko
