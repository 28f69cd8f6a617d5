#include "config/SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko {

namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason)
{
    throw FileWriteError("Cannot write " + path + ": " + reason);
}

[[noreturn]] void fail(const std::string& path, int err)
{
    fail(path, std::strerror(err));
}

constexpr const char* kNotRegular = "not a regular file";

// The file a write of `path` should replace: the target of a symbolic link
// when it resolves, otherwise `path` itself.
std::string resolveTarget(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
        return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real)
        return path;
    std::string out(real);
    std::free(real);
    return out;
}

// Creates a new, exclusive file beside `target`; returns its descriptor and name.
int createTemporary(const std::string& target, mode_t mode, std::string& name)
{
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    static unsigned counter = 0;
    unsigned seed = unsigned(getpid()) * 2654435761u ^ unsigned(std::time(nullptr)) ^ (++counter * 40503u);
    for (int attempt = 0; attempt < 100; ++attempt) {
        seed = seed * 1103515245u + 12345u;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".%06x", seed & 0xffffffu);
        name = dir + "." + base + suffix;
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool writeAll(int fd, const std::string& bytes)
{
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

void syncDirectoryOf(const std::string& target)
{
    const size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd); // the rename is done; this only makes it durable sooner
        close(fd);
    }
}

} // namespace

void WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t newFileMode,
                         FileModeRule rule, LinkRule links)
{
    const bool exact = rule == FileModeRule::Exactly;
    struct stat old;
    if (links == LinkRule::Refuse && lstat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode))
        fail(path, kNotRegular);
    const std::string target = links == LinkRule::Refuse ? path : resolveTarget(path);
    const bool hasOld = stat(target.c_str(), &old) == 0;
    // The rename would put a plain file in place of a device node (a link to
    // /dev/null, say), a pipe or a folder: only files are replaced.
    if (hasOld && !S_ISREG(old.st_mode))
        fail(path, kNotRegular);
    // A file the user made read-only stays as it is, as it would with an in-place write.
    if (hasOld && access(target.c_str(), W_OK) != 0)
        fail(path, errno);

    std::string tmp;
    // A private file is born private: its bytes are never readable by others, not even briefly.
    const mode_t mode = exact ? (newFileMode & 0700) : hasOld ? (old.st_mode & 07777) : newFileMode;
    int fd = createTemporary(target, mode, tmp);
    if (fd < 0)
        fail(path, errno);

    int err = 0;
    if (hasOld) {
        // Keep the owner first (a chown may clear set-id bits), then the mode.
        if ((old.st_uid != geteuid() || old.st_gid != getegid()) && fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not allowed to give the file away: it stays ours, which is still readable by us.
        }
    }
    if (hasOld || exact) {
        if (fchmod(fd, exact ? newFileMode : (old.st_mode & 07777)) != 0)
            err = errno;
    }
    if (!err && !writeAll(fd, bytes))
        err = errno;
    if (!err && fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (!err && rename(tmp.c_str(), target.c_str()) != 0)
        err = errno;
    if (err) {
        unlink(tmp.c_str());
        fail(path, err);
    }
    syncDirectoryOf(target);
}

} // namespace pelko
