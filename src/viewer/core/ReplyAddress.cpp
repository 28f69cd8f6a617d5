#include "viewer/core/ReplyAddress.h"

#include "mime/Readable.h"

#include <cctype>

namespace pelko {

namespace {

bool Unreserved(unsigned char c)
{
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

std::string PercentEncoded(const std::string& text, bool keepAt)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (Unreserved(c) || (keepAt && c == '@')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The text without "(comments)" and "quoted strings" (their content can
// hold "<", "@" or "," that are not the address's).
std::string WithoutCommentsAndQuotes(const std::string& text, std::string* quotedAway)
{
    std::string out;
    int depth = 0;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && (quoted || depth > 0) && i + 1 < text.size()) {
            ++i;
            continue;
        }
        if (quoted) {
            if (c == '"')
                quoted = false;
            else if (quotedAway)
                *quotedAway += c;
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && depth > 0) {
            --depth;
        } else if (depth == 0) {
            if (c == '"')
                quoted = true;
            else
                out += c;
        }
    }
    return out;
}

std::string Trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::string AddressOf(const std::string& fromHeader)
{
    const std::string text = WithoutCommentsAndQuotes(DecodeHeaderWords(fromHeader), nullptr);
    std::string candidate;
    const size_t open = text.find('<');
    if (open != std::string::npos) {
        const size_t close = text.find('>', open);
        candidate = text.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    } else {
        // The first blank-separated word that holds "@".
        size_t at = 0;
        while (at < text.size()) {
            size_t end = text.find_first_of(" \t,;", at);
            if (end == std::string::npos)
                end = text.size();
            const std::string word = text.substr(at, end - at);
            if (word.find('@') != std::string::npos) {
                candidate = word;
                break;
            }
            at = end + 1;
        }
    }
    candidate = Trimmed(candidate);
    for (unsigned char c : candidate)
        if (c < ' ' || c == 0x7F || c == ' ')
            return {};
    if (candidate.find('@') == std::string::npos)
        return {};
    return candidate;
}

std::string ReplyUrl(const TWireMessage& m)
{
    const std::string address = AddressOf(m.From());
    if (address.empty())
        return {};
    std::string subject = Trimmed(DecodeHeaderWords(m.Subject()));
    if (subject.size() < 3 || (std::tolower(static_cast<unsigned char>(subject[0])) != 'r' ||
                               std::tolower(static_cast<unsigned char>(subject[1])) != 'e' || subject[2] != ':'))
        subject = "Re: " + subject;
    return "mailto:" + PercentEncoded(address, true) + "?subject=" + PercentEncoded(subject, false);
}

} // namespace pelko
