#include "viewcore/ReplyAddress.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"

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
std::string WithoutCommentsAndQuotes(const std::string& text)
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

// The addr-spec of a From (or Reply-To) text, its encoded words decoded:
// what stands in angle brackets, else the word holding "@" with comments
// removed; empty when there is no address.
std::string AddressOf(const std::string& fromHeader)
{
    const std::string text = WithoutCommentsAndQuotes(DecodeHeaderWords(fromHeader));
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
    candidate = Trim(candidate);
    for (unsigned char c : candidate)
        if (c < ' ' || c == 0x7F || c == ' ')
            return {};
    if (candidate.find('@') == std::string::npos)
        return {};
    return candidate;
}

} // namespace

std::string ReplyUrl(const TWireMessage& m)
{
    const std::string address = AddressOf(m.From());
    if (address.empty())
        return {};
    std::string subject = Trim(DecodeHeaderWords(m.Subject()));
    if (!StartsWithIgnoreCase(subject, "Re:"))
        subject = "Re: " + subject;
    return "mailto:" + PercentEncoded(address, true) + "?subject=" + PercentEncoded(subject, false);
}

} // namespace pelko
