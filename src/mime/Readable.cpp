#include "mime/Readable.h"

#include "mime/Coders.h"
#include "mime/TextUtil.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iconv.h>
#include <initializer_list>

namespace pelko {

namespace {

std::string lowerAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

bool isAscii(const std::string& s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& s)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* const e = p + s.size();
    while (p < e) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int n;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (e - p <= n)
            return false;
        for (int k = 1; k <= n; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[k] & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += n + 1;
    }
    return true;
}

// ISO-8859-1, with the printable Windows-1252 characters in 0x80-0x9F (what
// mail labelled Latin-1 almost always means there).
std::string latin1ToUtf8(const std::string& s)
{
    static const uint16_t k1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                       0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                       0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                       0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out;
    out.reserve(s.size() + s.size() / 4);
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out += ch;
        else if (c < 0xA0)
            appendUtf8(out, k1252[c - 0x80]);
        else
            appendUtf8(out, c);
    }
    return out;
}

std::string detectToUtf8(const std::string& bytes)
{
    return isValidUtf8(bytes) ? bytes : latin1ToUtf8(bytes);
}

std::string normalizeCharset(const std::string& charset)
{
    std::string cs = Trim(charset);
    if (cs.size() >= 2 && cs.front() == '"' && cs.back() == '"')
        cs = Trim(cs.substr(1, cs.size() - 2));
    const size_t star = cs.find('*'); // RFC 2231 language suffix
    if (star != std::string::npos)
        cs.erase(star);
    return lowerAscii(cs);
}

// Only plain charset names reach iconv_open.
bool plausibleCharsetName(const std::string& cs)
{
    if (cs.empty() || cs.size() > 40)
        return false;
    for (char c : cs)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
              c == '+'))
            return false;
    return true;
}

bool iconvToUtf8(const std::string& bytes, const std::string& charset, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.clear();
    std::string buf(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    bool ok = true;
    for (bool flushing = false;;) {
        char* o = &buf[0];
        size_t oLeft = buf.size();
        const size_t r = flushing ? iconv(cd, nullptr, nullptr, &o, &oLeft) : iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf.data(), buf.size() - oLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            ok = false; // invalid or truncated input
            break;
        }
        if (flushing)
            break;
        flushing = true; // shift back to the initial state of stateful charsets
    }
    iconv_close(cd);
    return ok && isValidUtf8(out);
}

// Control characters never reach the screen (or a terminal): in a header
// value they become blanks, in body text they are dropped (tabs kept).
enum class Controls { ToBlank, DropKeepTab };

std::string cleanControls(const std::string& s, Controls mode)
{
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        bool control = c < 0x20 || c == 0x7F;
        size_t width = 1;
        if (c == 0xC2 && i + 1 < s.size()) { // U+0080..U+009F
            const auto d = static_cast<unsigned char>(s[i + 1]);
            if (d >= 0x80 && d <= 0x9F) {
                control = true;
                width = 2;
            }
        }
        if (!control) {
            out += s[i];
            continue;
        }
        if (mode == Controls::ToBlank)
            out += ' ';
        else if (c == '\t')
            out += '\t';
        i += width - 1;
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// "=XX" escapes (or escape followed by two hex digits); underscoreIsBlank
// for the Q encoding of header words.
void appendQDecoded(const std::string& text, bool underscoreIsBlank, std::string& out, char escape = '=')
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == escape && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '_' && underscoreIsBlank) {
            out += ' ';
        } else {
            out += c;
        }
    }
}

struct EncodedWord {
    std::string charset;
    std::string bytes;
    size_t end = 0; // index after "?="
};

bool isTokenChar(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 32 && u < 127 && c != '?' && c != '"' && c != '(' && c != ')' && c != ',' && c != ';';
}

// "=?charset?B|Q?text?=" starting at pos.
bool parseEncodedWord(const std::string& s, size_t pos, EncodedWord& w)
{
    size_t i = pos + 2;
    const size_t csStart = i;
    while (i < s.size() && isTokenChar(s[i]))
        ++i;
    if (i == csStart || i + 2 >= s.size() || s[i] != '?')
        return false;
    w.charset = s.substr(csStart, i - csStart);
    const char enc = s[i + 1];
    if (s[i + 2] != '?')
        return false;
    const size_t textStart = i + 3;
    const size_t textEnd = s.find("?=", textStart);
    if (textEnd == std::string::npos)
        return false;
    const std::string text = s.substr(textStart, textEnd - textStart);
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 32 || c == '?')
            return false;
    w.bytes.clear();
    if (enc == 'B' || enc == 'b')
        w.bytes = DecodeBase64Text(text);
    else if (enc == 'Q' || enc == 'q')
        appendQDecoded(text, true, w.bytes);
    else
        return false;
    w.end = textEnd + 2;
    return true;
}

bool allWhitespace(const std::string& s, size_t b, size_t e)
{
    for (size_t i = b; i < e; ++i)
        if (s[i] != ' ' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n')
            return false;
    return true;
}

TStrings splitLines(const std::string& text)
{
    TStrings lines;
    size_t start = 0;
    for (;;) {
        const size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

} // namespace

std::string ToUtf8(const std::string& bytes, const std::string& charset)
{
    const std::string cs = normalizeCharset(charset);
    if (cs.empty() || cs == "us-ascii" || cs == "ascii" || cs == "utf-8" || cs == "utf8" || cs == "unknown-8bit" ||
        cs == "x-unknown" || cs == "default")
        return detectToUtf8(bytes);
    if (cs == "iso-8859-1" || cs == "iso8859-1" || cs == "latin1" || cs == "latin-1" || cs == "l1" ||
        cs == "windows-1252" || cs == "cp1252")
        return isAscii(bytes) ? bytes : latin1ToUtf8(bytes);
    std::string out;
    if (plausibleCharsetName(cs) && iconvToUtf8(bytes, cs, out))
        return out;
    return detectToUtf8(bytes);
}

std::string DecodeHeaderWords(const std::string& value)
{
    std::string out;
    std::string pendingBytes, pendingCharset;
    bool pending = false;
    auto flush = [&] {
        if (pending)
            out += ToUtf8(pendingBytes, pendingCharset);
        pending = false;
        pendingBytes.clear();
    };

    size_t textStart = 0, search = 0;
    EncodedWord w;
    for (;;) {
        const size_t p = value.find("=?", search);
        if (p == std::string::npos)
            break;
        if (!parseEncodedWord(value, p, w)) {
            search = p + 1;
            continue;
        }
        // Blanks between two encoded words only separate them.
        if (!(pending && allWhitespace(value, textStart, p))) {
            flush();
            out += detectToUtf8(value.substr(textStart, p - textStart));
        }
        // Words of one charset are converted together: a character may be
        // split across two of them.
        if (pending && normalizeCharset(w.charset) == normalizeCharset(pendingCharset)) {
            pendingBytes += w.bytes;
        } else {
            flush();
            pending = true;
            pendingCharset = w.charset;
            pendingBytes = w.bytes;
        }
        textStart = search = w.end;
    }
    flush();
    out += detectToUtf8(value.substr(textStart));
    return cleanControls(out, Controls::ToBlank);
}

std::string PercentDecoded(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    appendQDecoded(text, false, out, '%');
    return out;
}

std::string DecodeQuotedPrintable(const TStrings& lines)
{
    std::string out;
    for (size_t k = 0; k < lines.size(); ++k) {
        std::string line = lines[k];
        // Blanks at a line end were added in transport.
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.pop_back();
        const bool soft = !line.empty() && line.back() == '=';
        if (soft)
            line.pop_back();
        appendQDecoded(line, false, out);
        if (!soft && k + 1 < lines.size())
            out += '\n';
    }
    return out;
}

std::string HeaderParameter(const std::string& headerValue, const std::string& name)
{
    const std::string wanted = lowerAscii(name);
    size_t i = headerValue.find(';');
    while (i != std::string::npos && i < headerValue.size()) {
        ++i; // past ";"
        const size_t eq = headerValue.find('=', i);
        const size_t semi = headerValue.find(';', i);
        if (eq == std::string::npos)
            break;
        if (semi != std::string::npos && semi < eq) {
            i = semi;
            continue;
        }
        const std::string key = lowerAscii(Trim(headerValue.substr(i, eq - i)));
        size_t j = eq + 1;
        while (j < headerValue.size() && (headerValue[j] == ' ' || headerValue[j] == '\t'))
            ++j;
        std::string val;
        if (j < headerValue.size() && headerValue[j] == '"') {
            for (++j; j < headerValue.size() && headerValue[j] != '"'; ++j) {
                if (headerValue[j] == '\\' && j + 1 < headerValue.size())
                    ++j;
                val += headerValue[j];
            }
            i = headerValue.find(';', j);
        } else {
            const size_t end = headerValue.find(';', j);
            val = Trim(headerValue.substr(j, end == std::string::npos ? std::string::npos : end - j));
            i = end;
        }
        if (key == wanted)
            return val;
    }
    return std::string();
}

namespace {

bool startsWithAt(const std::string& s, size_t pos, const char* lowerWord)
{
    for (size_t k = 0; lowerWord[k]; ++k) {
        if (pos + k >= s.size())
            return false;
        char c = s[pos + k];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != lowerWord[k])
            return false;
    }
    return true;
}

bool decodeEntity(const std::string& name, std::string& out)
{
    if (!name.empty() && name[0] == '#') {
        uint32_t cp = 0;
        const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
        const size_t from = hex ? 2 : 1;
        if (from >= name.size())
            return false;
        for (size_t k = from; k < name.size(); ++k) {
            const int d = hex ? hexValue(name[k]) : (name[k] >= '0' && name[k] <= '9' ? name[k] - '0' : -1);
            if (d < 0)
                return false;
            cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
            if (cp > 0x10FFFF)
                cp = 0x110000; // stays out of range, becomes U+FFFD
        }
        appendUtf8(out, cp == 0 ? 0xFFFD : cp);
        return true;
    }
    static const struct {
        const char* name;
        uint32_t cp;
    } kEntities[] = {{"amp", '&'},       {"lt", '<'},         {"gt", '>'},        {"quot", '"'},
                     {"apos", '\''},     {"nbsp", ' '},       {"copy", 0xA9},     {"reg", 0xAE},
                     {"trade", 0x2122},  {"hellip", 0x2026},  {"mdash", 0x2014},  {"ndash", 0x2013},
                     {"lsquo", 0x2018},  {"rsquo", 0x2019},   {"ldquo", 0x201C},  {"rdquo", 0x201D},
                     {"laquo", 0xAB},    {"raquo", 0xBB},     {"euro", 0x20AC},   {"bull", 0x2022},
                     {"middot", 0xB7},   {"deg", 0xB0},       {"eacute", 0xE9},   {"egrave", 0xE8},
                     {"agrave", 0xE0},   {"ccedil", 0xE7},    {"uuml", 0xFC},     {"ouml", 0xF6},
                     {"auml", 0xE4},     {"szlig", 0xDF},     {"shy", 0xAD},      {"zwnj", 0x200C}};
    for (const auto& e : kEntities)
        if (name == e.name) {
            appendUtf8(out, e.cp);
            return true;
        }
    return false;
}

bool inList(const std::string& tag, std::initializer_list<const char*> list)
{
    for (const char* b : list)
        if (tag == b)
            return true;
    return false;
}

// Line ends a tag stands for: 2 for a paragraph-like block (an empty line
// around it), 1 for a line break or a plain block, 0 for inline tags.
int lineEndsOf(const std::string& tag)
{
    if (inList(tag, {"p", "h1", "h2", "h3", "h4", "h5", "h6", "blockquote", "pre", "table", "ul", "ol", "dl",
                     "hr", "title", "address"}))
        return 2;
    if (inList(tag, {"br", "div", "tr", "li", "dt", "dd", "section", "article", "header", "footer"}))
        return 1;
    return 0;
}

// Ends the text with at least count line ends (none at the very start).
void endLines(std::string& text, int count)
{
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    if (text.empty())
        return;
    int have = 0;
    for (size_t k = text.size(); k > 0 && text[k - 1] == '\n'; --k)
        ++have;
    for (; have < count; ++have)
        text += '\n';
}

// The value of an attribute in the text of one tag ("a href=..."), entities
// decoded, control characters dropped, blanks at the ends trimmed; empty
// when absent.
std::string attributeValue(const std::string& tagText, const std::string& name)
{
    const std::string lower = lowerAscii(tagText);
    size_t at = 0;
    while ((at = lower.find(name, at)) != std::string::npos) {
        const bool startsName = at > 0 && (lower[at - 1] == ' ' || lower[at - 1] == '\t' ||
                                           lower[at - 1] == '\n' || lower[at - 1] == '\r');
        size_t k = at + name.size();
        at = k;
        while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t' || lower[k] == '\n' || lower[k] == '\r'))
            ++k;
        if (!startsName || k >= lower.size() || lower[k] != '=')
            continue;
        ++k;
        while (k < lower.size() && (lower[k] == ' ' || lower[k] == '\t' || lower[k] == '\n' || lower[k] == '\r'))
            ++k;
        std::string raw;
        if (k < tagText.size() && (tagText[k] == '"' || tagText[k] == '\'')) {
            const size_t end = tagText.find(tagText[k], k + 1);
            raw = tagText.substr(k + 1, end == std::string::npos ? std::string::npos : end - k - 1);
        } else {
            size_t end = k;
            while (end < tagText.size() && tagText[end] != ' ' && tagText[end] != '\t' && tagText[end] != '\n' &&
                   tagText[end] != '\r' && tagText[end] != '>')
                ++end;
            raw = tagText.substr(k, end - k);
        }
        std::string value;
        for (size_t i = 0; i < raw.size(); ++i) {
            std::string decoded;
            const size_t semi = raw[i] == '&' ? raw.find(';', i + 1) : std::string::npos;
            if (semi != std::string::npos && semi - i <= 10 && decodeEntity(raw.substr(i + 1, semi - i - 1), decoded)) {
                value += decoded;
                i = semi;
            } else if (static_cast<unsigned char>(raw[i]) >= 0x20 && raw[i] != 0x7F) {
                value += raw[i];
            }
        }
        return Trim(value);
    }
    return {};
}

// Longest link address shown after its text; a longer one is left out.
constexpr size_t kMaxShownAddress = 2000;

} // namespace

std::string HtmlToText(const std::string& html)
{
    std::string text;
    bool inPre = false;
    bool lastBlank = false;
    // The address of the link being read and where its text starts: the
    // address follows the text as "text <address>", unless the text says
    // it already.
    std::string href;
    size_t linkTextAt = 0;
    const auto endLink = [&] {
        if (href.empty())
            return;
        // Blanks before a block may have gone since the link started.
        const std::string shown = Trim(text.substr(std::min(linkTextAt, text.size())));
        if (href[0] != '#' && href.size() <= kMaxShownAddress && shown != href && "mailto:" + shown != href) {
            if (!text.empty() && text.back() != ' ' && text.back() != '\n')
                text += ' ';
            text += "<" + href + ">";
            lastBlank = false;
        }
        href.clear();
    };
    const size_t n = html.size();
    size_t i = 0;
    while (i < n) {
        const char c = html[i];
        if (c == '<') {
            if (html.compare(i, 4, "<!--") == 0) {
                const size_t e = html.find("-->", i + 4);
                i = e == std::string::npos ? n : e + 3;
                continue;
            }
            // Tag end, quoted attribute values may hold ">".
            size_t j = i + 1;
            char quote = 0;
            while (j < n && (quote || html[j] != '>')) {
                if (quote && html[j] == quote)
                    quote = 0;
                else if (!quote && (html[j] == '"' || html[j] == '\''))
                    quote = html[j];
                ++j;
            }
            if (j >= n) { // no end: not a tag
                text += c;
                lastBlank = false;
                ++i;
                continue;
            }
            size_t k = i + 1;
            const bool closing = k < j && html[k] == '/';
            if (closing)
                ++k;
            std::string tag;
            while (k < j && ((html[k] >= 'a' && html[k] <= 'z') || (html[k] >= 'A' && html[k] <= 'Z') ||
                             (html[k] >= '0' && html[k] <= '9')))
                tag += html[k++];
            tag = lowerAscii(tag);
            i = j + 1;
            if (!closing && (tag == "script" || tag == "style" || tag == "head")) {
                const std::string endTag = "</" + tag;
                size_t e = i;
                while (e < n && !startsWithAt(html, e, endTag.c_str()))
                    ++e;
                const size_t gt = e < n ? html.find('>', e) : std::string::npos;
                i = gt == std::string::npos ? n : gt + 1;
                continue;
            }
            if (tag == "a") {
                endLink(); // links do not nest
                if (!closing) {
                    href = attributeValue(html.substr(k, j - k), "href");
                    linkTextAt = text.size();
                }
                continue;
            }
            if (tag == "pre")
                inPre = !closing;
            if (const int ends = lineEndsOf(tag)) {
                if (tag == "br") {
                    while (!text.empty() && text.back() == ' ')
                        text.pop_back();
                    text += '\n';
                } else {
                    endLines(text, ends);
                }
                lastBlank = true;
            } else if (tag == "td" || tag == "th") {
                if (!lastBlank)
                    text += ' ';
                lastBlank = true;
            }
            continue;
        }
        if (c == '&') {
            const size_t semi = html.find(';', i + 1);
            std::string decoded;
            if (semi != std::string::npos && semi - i <= 10 && decodeEntity(html.substr(i + 1, semi - i - 1), decoded)) {
                text += decoded;
                lastBlank = false;
                i = semi + 1;
                continue;
            }
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
            if (inPre) {
                if (c != '\r')
                    text += c;
            } else if (!lastBlank) {
                text += ' ';
                lastBlank = true;
            }
            ++i;
            continue;
        }
        text += c;
        lastBlank = false;
        ++i;
    }

    endLink();

    // Tidy the lines: no blanks at the ends, at most one empty line in a row,
    // none at the start or the end.
    TStrings lines;
    for (std::string& line : splitLines(text)) {
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        if (line.empty() && (lines.empty() || lines.back().empty()))
            continue;
        lines.push_back(line);
    }
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return JoinLines(lines);
}

TStrings ReadablePart(const TStrings& lines, const std::string& contentType, const std::string& transferEncoding)
{
    const std::string type = lowerAscii(Trim(contentType.substr(0, contentType.find(';'))));
    const std::string charset = HeaderParameter(contentType, "charset");
    const std::string cte = lowerAscii(Trim(transferEncoding));

    if (lines.empty())
        return TStrings();

    std::string bytes;
    bool dropFinalEmpty = false;
    if (cte == "quoted-printable") {
        bytes = DecodeQuotedPrintable(lines);
    } else if (cte == "base64") {
        Base64StreamDecoder d;
        for (const std::string& l : lines)
            d.feed(l.data(), l.size(), bytes);
        d.finish(bytes);
        dropFinalEmpty = !bytes.empty() && bytes.back() == '\n';
    } else {
        bytes = JoinLines(lines);
    }

    std::string text = ToUtf8(bytes, charset);
    if (type == "text/html")
        text = HtmlToText(text);
    TStrings out = splitLines(text);
    if (dropFinalEmpty && !out.empty() && out.back().empty())
        out.pop_back();
    for (std::string& l : out)
        l = cleanControls(l, Controls::DropKeepTab);
    return out;
}

TStrings ReadableBody(const TWireMessage& m)
{
    struct Source {
        const TStrings* lines;
        std::string type, transfer;
    };
    std::vector<Source> sources;
    TStrings textOnly;
    if (m.MessageParts.empty()) {
        // A cut message's Text ends with the line that says so: shown once, last.
        textOnly.assign(m.Text.begin(), m.Text.end() - (m.TextCut && !m.Text.empty() ? 1 : 0));
        if (!textOnly.empty())
            sources.push_back({&textOnly, m.GetHeader("Content-Type"), m.GetHeader("Content-Transfer-Encoding")});
    } else {
        for (const TMessagePart& p : m.MessageParts)
            sources.push_back({&p.Lines, p.ContentType, p.ContentTransfer});
    }

    TStrings out;
    for (const Source& s : sources) {
        std::string major = s.type;
        major = lowerAscii(Trim(SplitFirst(major, "/")));
        TStrings lines;
        if (major.empty() || major == "text") {
            lines = ReadablePart(*s.lines, s.type, s.transfer);
        } else {
            // Not text (a single-part message of another type): shown as received.
            for (const std::string& l : *s.lines)
                lines.push_back(cleanControls(detectToUtf8(l), Controls::DropKeepTab));
        }
        if (lines.empty())
            continue;
        if (!out.empty() && !out.back().empty())
            out.emplace_back();
        out.insert(out.end(), lines.begin(), lines.end());
    }
    if (m.TextCut) {
        if (!out.empty() && !out.back().empty())
            out.emplace_back();
        out.push_back(TextCutLine(m.MaxTextBytes));
    }
    return out;
}

} // namespace pelko
