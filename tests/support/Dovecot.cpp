#include "Dovecot.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

constexpr uid_t kMailUid = 65534;
constexpr gid_t kMailGid = 65534;

std::string Maildir(int n)
{
    return DovecotDir() + "/mail/" + DovecotUser(n) + "/Maildir";
}

template <typename F>
void ForEachFile(const std::string& dir, F f)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            f(dir + "/" + name);
    }
    ::closedir(d);
}

int PortFile(const char* name)
{
    const std::string dir = DovecotDir();
    if (dir.empty())
        return 0;
    std::ifstream in(dir + "/" + name);
    int port = 0;
    if (!(in >> port))
        return 0;
    return port;
}

} // namespace

std::string DovecotDir()
{
    const char* d = std::getenv("PELKO_DOVECOT_DIR");
    if (d && *d)
        return d;
    // Test binaries live in <build>/tests; the fixture starts the server in
    // <build>/dovecot.
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "";
    std::string self(buf, static_cast<size_t>(n));
    self.erase(self.rfind('/'));
    const size_t up = self.rfind('/');
    return up == std::string::npos ? "" : self.substr(0, up) + "/dovecot";
}

bool DovecotAvailable()
{
    return DovecotPort() > 0;
}

int DovecotPort()
{
    const std::string dir = DovecotDir();
    if (dir.empty())
        return 0;
    std::ifstream in(dir + "/port");
    int port = 0;
    if (!(in >> port))
        return 0;
    return port;
}

bool DovecotTlsAvailable()
{
    return DovecotAvailable() && DovecotTlsPort() > 0 && ::access(DovecotCertFile().c_str(), R_OK) == 0;
}

int DovecotTlsPort()
{
    const std::string dir = DovecotDir();
    if (dir.empty())
        return 0;
    std::ifstream in(dir + "/port_tls");
    int port = 0;
    if (!(in >> port))
        return 0;
    return port;
}

std::string DovecotCertFile()
{
    return DovecotDir() + "/cert.pem";
}

int DovecotImapPort()
{
    return DovecotAvailable() ? PortFile("port_imap") : 0;
}

int DovecotImapsPort()
{
    return DovecotTlsAvailable() ? PortFile("port_imaps") : 0;
}

std::string DovecotUser(int n)
{
    return "user" + std::to_string(n);
}

std::string DovecotPassword(int n)
{
    return "pass" + std::to_string(n);
}

void DovecotClearMailbox(int n)
{
    for (const char* sub : {"/new", "/cur", "/tmp"})
        ForEachFile(Maildir(n) + sub, [](const std::string& path) { ::unlink(path.c_str()); });
}

void DovecotAddMessage(int n, const std::string& rfc822CRLF)
{
    static std::atomic<unsigned> counter{0};
    // Dovecot numbers new mail in file-name order: pad the counter so the
    // tenth message does not sort before the ninth.
    char seq[16];
    std::snprintf(seq, sizeof seq, "%08u", counter++);
    const std::string name = std::to_string(::time(nullptr)) + ".P" + std::to_string(::getpid()) + "Q" +
                             seq + ".pelko-test";
    const std::string tmp = Maildir(n) + "/tmp/" + name;
    const std::string dest = Maildir(n) + "/new/" + name;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("cannot create " + tmp);
    size_t off = 0;
    while (off < rfc822CRLF.size()) {
        const ssize_t w = ::write(fd, rfc822CRLF.data() + off, rfc822CRLF.size() - off);
        if (w <= 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + tmp);
        }
        off += static_cast<size_t>(w);
    }
    ::fchmod(fd, 0644);
    if (::fchown(fd, kMailUid, kMailGid) != 0) {
        // Not root: the server can still read a 0644 file.
    }
    ::close(fd);
    if (::rename(tmp.c_str(), dest.c_str()) != 0)
        throw std::runtime_error("cannot move " + tmp + " to new/");
}

int DovecotMessageCount(int n)
{
    int count = 0;
    for (const char* sub : {"/new", "/cur"})
        ForEachFile(Maildir(n) + sub, [&count](const std::string&) { ++count; });
    return count;
}

} // namespace pelko

namespace pelko {

void DovecotMarkSeen(int n, int index)
{
    // Our file names sort in the order the messages were added; the server
    // may have moved them from new/ to cur/ and given them a flags suffix.
    std::vector<std::string> names;
    for (const char* sub : {"/new", "/cur"})
        ForEachFile(Maildir(n) + sub, [&names](const std::string& path) { names.push_back(path); });
    const auto base = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    std::sort(names.begin(), names.end(), [&](const std::string& a, const std::string& b) { return base(a) < base(b); });
    if (index < 0 || size_t(index) >= names.size())
        throw std::runtime_error("no message " + std::to_string(index) + " for " + DovecotUser(n));
    const std::string name = base(names[size_t(index)]);
    const std::string dest = Maildir(n) + "/cur/" + name.substr(0, name.find(':')) + ":2,S";
    if (::rename(names[size_t(index)].c_str(), dest.c_str()) != 0)
        throw std::runtime_error("cannot mark " + name + " read");
}

void DovecotRenumberMailbox(int n)
{
    ForEachFile(Maildir(n), [](const std::string& path) {
        const std::string name = path.substr(path.rfind('/') + 1);
        // The uid list and the index; the mailbox root's UIDVALIDITY counter
        // (dovecot-uidvalidity*) stays, so the next value differs.
        if (name == "dovecot-uidlist" || name.rfind("dovecot.index", 0) == 0)
            ::unlink(path.c_str());
    });
}

} // namespace pelko
