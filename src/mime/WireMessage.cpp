#include "mime/WireMessage.h"

#include "mime/TempFiles.h"
#include "mime/TextUtil.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko {

namespace {

bool NameMatches(const std::string& line, const std::string& name)
{
    const size_t eq = line.find('=');
    if (eq == std::string::npos || eq != name.size())
        return false;
    for (size_t i = 0; i < eq; ++i) {
        char a = line[i], b = name[i];
        if (a >= 'a' && a <= 'z')
            a = static_cast<char>(a - 'a' + 'A');
        if (b >= 'a' && b <= 'z')
            b = static_cast<char>(b - 'a' + 'A');
        if (a != b)
            return false;
    }
    return true;
}

// Cuts an address field at commas, except while exactly one double quote
// has been seen in the current item (a quoted display name may hold commas).
TStrings SplitAddresses(const std::string& value)
{
    TStrings items;
    std::string current;
    int quotes = 0;
    auto flush = [&] {
        std::string item = Trim(current);
        if (!item.empty())
            items.push_back(item);
        current.clear();
        quotes = 0;
    };
    for (char c : value) {
        if (c == ',' && quotes != 1) {
            flush();
            continue;
        }
        if (c == '"')
            ++quotes;
        current += c;
    }
    flush();
    return items;
}

// The comma text of a string list: items separated by commas or blanks,
// double quotes around items that hold them ("" inside stands for one quote).
TStrings SplitCommaText(const std::string& text)
{
    TStrings items;
    size_t i = 0;
    const size_t n = text.size();
    auto skipBlanks = [&] {
        while (i < n && static_cast<unsigned char>(text[i]) <= ' ')
            ++i;
    };
    skipBlanks();
    while (i < n) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < n && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ')
                item += text[i++];
        }
        items.push_back(item);
        skipBlanks();
        if (i < n && text[i] == ',') {
            ++i;
            skipBlanks();
            if (i == n)
                items.emplace_back();
        }
    }
    return items;
}

std::string JoinCommaText(const TStrings& items)
{
    std::string out;
    for (size_t k = 0; k < items.size(); ++k) {
        const std::string& item = items[k];
        bool quote = item.empty() && items.size() == 1;
        for (char c : item)
            if (static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',')
                quote = true;
        if (k)
            out += ',';
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

} // namespace

namespace {

// Copies everything from in to out; closes out (not in). false on any failure.
// The kernel copies within itself where it can (copy_file_range: no pass of
// the bytes through this process, shared blocks on file systems that have
// them); read and write take over where it cannot.
bool copyAndClose(int in, int out)
{
    bool ok = true;
    for (;;) {
        const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, size_t(1) << 30, 0);
        if (n > 0)
            continue;
        if (n == 0) {
            // The end of the file, or a source the call only reads as empty
            // (some special file systems): read on to make sure.
            break;
        }
        if (errno == EINTR)
            continue;
        break; // EXDEV, EINVAL, ENOSYS, EOPNOTSUPP...: copy by hand from here on
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        ssize_t done = 0;
        while (done < n) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0) {
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok)
            break;
    }
    const int err = errno;
    if (::close(out) != 0)
        ok = false;
    else if (!ok)
        errno = err;
    return ok;
}

// "name.ext" -> "name-k.ext"; a name whose only dot leads it has no extension.
std::string numberedName(const std::string& name, int k)
{
    const size_t dot = name.rfind('.');
    const bool ext = dot != std::string::npos && dot != 0;
    return (ext ? name.substr(0, dot) : name) + "-" + std::to_string(k) + (ext ? name.substr(dot) : "");
}

} // namespace

bool TAttachment::SaveToFile(const std::string& dest) const
{
    std::string path = dest;
    if (!path.empty() && path.back() == '/')
        path.pop_back();
    if (path.empty() || StoredPathName.empty())
        return false;

    const int in = ::open(StoredPathName.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    struct stat src {}, dst {};
    if (::fstat(in, &src) == 0 && ::stat(path.c_str(), &dst) == 0 && src.st_dev == dst.st_dev &&
        src.st_ino == dst.st_ino) {
        ::close(in); // copying a file onto itself would empty it
        return true;
    }
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
        ::close(in);
        return false;
    }
    const bool ok = copyAndClose(in, out);
    ::close(in);
    return ok;
}

int CreateNewFile(const std::string& dir, const std::string& name, std::string& path)
{
    if (name.empty() || name.find('/') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    // O_EXCL refuses any existing name, a link (even a dangling one) included.
    constexpr int kMaxTries = 10000;
    for (int k = 1; k <= kMaxTries; ++k) {
        path = dir + (k == 1 ? name : numberedName(name, k));
        const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (out >= 0)
            return out;
        if (errno != EEXIST)
            break; // after the last try errno is still EEXIST
    }
    path.clear();
    return -1;
}

std::string TAttachment::SaveAsNewFile(const std::string& dir, const std::string& name) const
{
    if (StoredPathName.empty() || name.empty() || name.find('/') != std::string::npos) {
        errno = EINVAL;
        return std::string();
    }
    const int in = ::open(StoredPathName.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return std::string();
    std::string path;
    const int out = CreateNewFile(dir, name, path);
    if (out < 0) {
        const int err = errno;
        ::close(in);
        errno = err;
        return std::string();
    }
    const bool ok = copyAndClose(in, out);
    const int err = errno;
    ::close(in);
    if (!ok) {
        ::unlink(path.c_str()); // ours, made just now: no half copy stays
        errno = err;
        return std::string();
    }
    return path;
}

std::string TextCutLine(size_t maxBytes)
{
    std::string amount;
    if (maxBytes >= (size_t(1) << 20) && maxBytes % (size_t(1) << 20) == 0)
        amount = std::to_string(maxBytes >> 20) + " MiB";
    else if (maxBytes >= 1024 && maxBytes % 1024 == 0)
        amount = std::to_string(maxBytes >> 10) + " KiB";
    else
        amount = std::to_string(maxBytes) + " bytes";
    return "[Message cut here: the rest is over the " + amount + " of text kept per message.]";
}

TWireMessage::TWireMessage() = default;

TWireMessage::~TWireMessage()
{
    for (const TAttachment& a : Attachments)
        if (!a.StoredPathName.empty())
            RemoveTempFile(a.StoredPathName);
}

std::string TWireMessage::HeaderIn(const TStrings& headers, const std::string& name)
{
    for (const std::string& line : headers)
        if (NameMatches(line, name))
            return line.substr(name.size() + 1);
    return std::string();
}

std::string TWireMessage::GetHeader(const std::string& name) const
{
    return HeaderIn(Headers, name);
}

void TWireMessage::SetHeader(const std::string& name, const std::string& value)
{
    for (auto it = Headers.begin(); it != Headers.end(); ++it) {
        if (!NameMatches(*it, name))
            continue;
        if (value.empty())
            Headers.erase(it);
        else
            *it = it->substr(0, name.size() + 1) + value;
        return;
    }
    if (!value.empty())
        Headers.push_back(name + "=" + value);
}

TDateTime TWireMessage::Date() const
{
    return ParseMailDate(GetHeader("Date"));
}

void TWireMessage::SetDate(TDateTime value)
{
    SetHeader("Date", FormatMailDate(value));
}

TStrings TWireMessage::Too() const
{
    return SplitAddresses(GetHeader("To"));
}

void TWireMessage::SetToo(const TStrings& items)
{
    SetHeader("To", JoinWithCommas(items));
}

TStrings TWireMessage::CCList() const
{
    return SplitAddresses(GetHeader("Cc"));
}

void TWireMessage::SetCCList(const TStrings& items)
{
    SetHeader("Cc", JoinWithCommas(items));
}

TStrings TWireMessage::Newsgroups() const
{
    return SplitCommaText(GetHeader("Newsgroups"));
}

void TWireMessage::SetNewsgroups(const TStrings& items)
{
    SetHeader("Newsgroups", JoinCommaText(items));
}

void TWireMessage::Clear()
{
    MessageParts.clear();
    for (const TAttachment& a : Attachments)
        if (!a.StoredPathName.empty())
            RemoveTempFile(a.StoredPathName);
    Attachments.clear();
    BCCList.clear();
    DefaultDomain.clear();
    SetDate(0); // formats a "Date" field: a time-zone failure surfaces here
    Headers.clear();
    MsgNo = 0;
    Text.clear();
    TextCut = false;
}

} // namespace pelko
