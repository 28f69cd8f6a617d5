#include "config/CertificatePins.h"

#include "config/SafeFile.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

constexpr off_t kMaxFileBytes = 1 << 20;

const char* const kHeader = "# Pelko: server certificates you chose to trust, one per line:\n"
                            "# account, server, port and the certificate's SHA-256 fingerprint, tabs between.\n"
                            "# Delete a line to take that trust back.\n";

std::string Escape(const std::string& field)
{
    std::string out;
    for (char ch : field) {
        switch (ch) {
        case '%': out += "%25"; break;
        case '\t': out += "%09"; break;
        case '\r': out += "%0D"; break;
        case '\n': out += "%0A"; break;
        default: out += ch;
        }
    }
    return out;
}

std::string Unescape(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '%' && i + 2 < field.size()) {
            const std::string code = field.substr(i + 1, 2);
            const char ch = code == "25" ? '%' : code == "09" ? '\t' : code == "0D" ? '\r' : code == "0A" ? '\n' : 0;
            if (ch) {
                out += ch;
                i += 2;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

std::string Lower(std::string text)
{
    for (char& ch : text)
        if (ch >= 'A' && ch <= 'Z')
            ch = char(ch - 'A' + 'a');
    return text;
}

std::string Upper(std::string text)
{
    for (char& ch : text)
        if (ch >= 'a' && ch <= 'z')
            ch = char(ch - 'a' + 'A');
    return text;
}

std::vector<std::string> Split(const std::string& line, char sep)
{
    std::vector<std::string> fields;
    size_t at = 0;
    for (;;) {
        const size_t end = line.find(sep, at);
        fields.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            return fields;
        at = end + 1;
    }
}

// The pin a line holds; false for comments and lines that are no pin.
bool ParsePin(std::string line, CertificatePin& pin)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty() || line[0] == '#')
        return false;
    const std::vector<std::string> f = Split(line, '\t');
    if (f.size() != 4 || f[0].empty() || f[1].empty() || f[2].empty() || f[2].size() > 5 ||
        f[2].find_first_not_of("0123456789") != std::string::npos || !IsSha256Fingerprint(f[3]))
        return false;
    pin.port = std::stoi(f[2]);
    if (pin.port < 1 || pin.port > 65535)
        return false;
    pin.account = Unescape(f[0]);
    pin.host = Unescape(f[1]);
    pin.fingerprint = Upper(f[3]);
    return true;
}

bool SameServer(const CertificatePin& a, const std::string& account, const std::string& host, int port)
{
    return a.account == account && Lower(a.host) == Lower(host) && a.port == port;
}

enum class ReadResult { Read, Missing, Refused };

// The file's bytes, when it is ours to trust: a regular file of at most
// kMaxFileBytes that only its owner (this user or root) may write.
ReadResult ReadPinFile(const std::string& path, std::string& bytes, std::string& why)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        why = std::strerror(errno);
        return ReadResult::Refused;
    }
    struct stat st;
    ReadResult result = ReadResult::Refused;
    if (::fstat(fd, &st) != 0) {
        why = std::strerror(errno);
    } else if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        why = "not a pin file of Pelko's (too large, or no plain file)";
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) || (st.st_uid != ::geteuid() && st.st_uid != 0)) {
        why = "other users may change it";
    } else {
        bytes.resize(size_t(st.st_size));
        size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += size_t(n);
        }
        bytes.resize(got);
        result = ReadResult::Read;
    }
    ::close(fd);
    return result;
}

} // namespace

bool IsSha256Fingerprint(const std::string& text)
{
    if (text.size() != 32 * 3 - 1)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (i % 3 == 2 ? ch != ':' : !std::isxdigit(static_cast<unsigned char>(ch)))
            return false;
    }
    return true;
}

std::string FindPin(const std::string& fileBytes, const std::string& account, const std::string& host, int port)
{
    for (const std::string& line : Split(fileBytes, '\n')) {
        CertificatePin pin;
        if (ParsePin(line, pin) && SameServer(pin, account, host, port))
            return pin.fingerprint;
    }
    return {};
}

std::string WithPin(const std::string& fileBytes, const CertificatePin& pin)
{
    const std::string line =
        Escape(pin.account) + '\t' + Escape(Lower(pin.host)) + '\t' + std::to_string(pin.port) + '\t' +
        Upper(pin.fingerprint) + '\n';
    if (fileBytes.empty())
        return kHeader + line;
    std::vector<std::string> lines = Split(fileBytes, '\n');
    const bool endsInBreak = lines.back().empty();
    if (endsInBreak)
        lines.pop_back();
    std::string out;
    bool placed = false;
    for (const std::string& l : lines) {
        CertificatePin old;
        if (ParsePin(l, old) && SameServer(old, pin.account, pin.host, pin.port)) {
            if (!placed)
                out += line;
            placed = true;
            continue;
        }
        out += l + '\n';
    }
    if (!placed)
        out += line;
    return out;
}

std::string FindPinnedCertificate(const std::string& path, const std::string& account, const std::string& host,
                                  int port)
{
    std::string bytes, why;
    if (ReadPinFile(path, bytes, why) != ReadResult::Read)
        return {};
    return FindPin(bytes, account, host, port);
}

void TrustCertificate(const std::string& path, const CertificatePin& pin)
{
    if (!IsSha256Fingerprint(pin.fingerprint) || pin.port < 1 || pin.port > 65535 || pin.account.empty() ||
        pin.host.empty())
        throw FileWriteError("Cannot write " + path + ": the certificate or the server is not known");
    std::string bytes, why;
    if (ReadPinFile(path, bytes, why) == ReadResult::Refused)
        throw FileWriteError("Cannot write " + path + ": " + why);
    WriteFileAtomically(path, WithPin(bytes, pin), S_IRUSR | S_IWUSR, FileModeRule::Exactly);
}

} // namespace pelko
