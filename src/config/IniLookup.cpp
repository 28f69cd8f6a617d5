#include "config/IniLookup.h"

#include "platform/FatalEnd.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko {

std::string LowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return text;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && LowerAscii(a) == LowerAscii(b);
}

std::vector<std::string> SplitIniLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string cur;
    bool pending = false; // characters (or an open line) waiting
    const size_t n = bytes.size();
    for (size_t i = 0; i < n; ++i) {
        const char c = bytes[i];
        if (c == kEndOfFileByte)
            break;
        if (c == '\r') {
            lines.push_back(cur);
            cur.clear();
            pending = false;
            if (i + 1 < n && bytes[i + 1] == '\n')
                ++i;
            continue;
        }
        cur += c;
        pending = true;
    }
    if (pending)
        lines.push_back(cur);
    return lines;
}

namespace {

bool isComment(const std::string& line) { return !line.empty() && line[0] == ';'; }

} // namespace

std::string FindInLines(const std::vector<std::string>& lines, const std::string& section,
                        const std::string& key)
{
    const std::string lkey = LowerAscii(key);
    const bool anySection = section.empty();
    const size_t n = lines.size();
    size_t i = 0;
    auto keyIn = [&](const std::string& line) {
        return !lkey.empty() && LowerAscii(line).find(lkey) != std::string::npos;
    };
    while (i < n) {
        // Section search.
        size_t cur = i++;
        while ((lines[cur].empty() || isComment(lines[cur]) ||
                (!anySection && !EqualsIgnoreCase(lines[cur], section))) &&
               i < n)
            cur = i++;
        if (!anySection && !EqualsIgnoreCase(lines[cur], section))
            continue; // at the end of the file
        // Key search, starting with the header line itself.
        while ((lines[cur].empty() || isComment(lines[cur]) || (!keyIn(lines[cur]) && !anySection)) &&
               i < n)
            cur = i++;
        const std::string& line = lines[cur];
        if (keyIn(line) && !isComment(line)) {
            const size_t eq = line.find('=');
            return LTrimSpaces(eq == std::string::npos ? line : line.substr(eq + 1));
        }
    }
    return kNone;
}

bool ReadIniBytes(const std::string& fileName, std::string& bytes)
{
    bytes.clear();
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    // A directory opens like a file here but holds no lines: it is no file.
    bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode) &&
              !(S_ISREG(st.st_mode) && size_t(st.st_size) > kMaxIniBytes);
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            ok = errno == EINTR;
            continue;
        }
        bytes.append(buf, size_t(n));
        ok = bytes.size() <= kMaxIniBytes; // a file that grew, or no plain file
    }
    ::close(fd);
    if (!ok)
        bytes.clear();
    return ok;
}

IniFile::IniFile(const std::string& fileName, IfUnreadable ifUnreadable)
{
    std::string bytes;
    if (!ReadIniBytes(fileName, bytes)) {
        if (ifUnreadable == IfUnreadable::Fatal)
            throw FatalEnd(kSkinPathNotFound);
        unreadable_ = true;
        return;
    }
    lines_ = SplitIniLines(bytes);
}

std::string IniFile::find(const std::string& section, const std::string& key) const
{
    return unreadable_ ? std::string() : FindInLines(lines_, section, key);
}

std::string FindInSkin(const std::string& fileName, const std::string& section, const std::string& key,
                       IfUnreadable ifUnreadable)
{
    return IniFile(fileName, ifUnreadable).find(section, key);
}

std::string LTrimSpaces(const std::string& text)
{
    const size_t p = text.find_first_not_of(' ');
    return p == std::string::npos ? std::string() : text.substr(p);
}

int32_t StrToInt(const std::string& text)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool neg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        throw ConversionError(text);
    int64_t v = 0;
    for (; i < n; ++i) {
        const char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            throw ConversionError(text);
        v = v * base + d;
        // Hexadecimal numbers may fill all 32 bits (0xFFFFFFFF is -1).
        if (v > (base == 16 ? int64_t(UINT32_MAX) : int64_t(INT32_MAX) + (neg ? 1 : 0)))
            throw ConversionError(text);
    }
    if (base == 16 && !neg)
        return int32_t(uint32_t(v));
    return int32_t(neg ? -v : v);
}

void TraiteInt(const std::string& text, int32_t& x, int32_t& y)
{
    if (text.empty() || text == kNone) {
        x = 0;
        y = 0;
        return;
    }
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        x = StrToInt(text);
        return;
    }
    x = StrToInt(text.substr(0, comma));
    y = StrToInt(text.substr(comma + 1));
}

} // namespace pelko
