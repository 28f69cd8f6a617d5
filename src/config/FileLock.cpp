#include "config/FileLock.h"

#include "config/SafeFile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace pelko {

FileLock::FileLock(const std::string& lockPath, const std::string& forPath, int waitMs)
{
    auto refuse = [&](const std::string& reason) {
        if (fd_ >= 0)
            ::close(fd_);
        throw FileWriteError("Cannot write " + forPath + ": " + reason);
    };
    // Never a link, never a device or a pipe (opening one may act on it).
    struct stat st {};
    if (::lstat(lockPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        refuse(lockPath + " is not a regular file");
    fd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd_ < 0)
        refuse(lockPath + ": " + std::strerror(errno));
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        refuse(lockPath + " is not a regular file");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            refuse(lockPath + ": " + std::strerror(errno));
        if (std::chrono::steady_clock::now() >= deadline)
            refuse("another run holds " + lockPath);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

FileLock::~FileLock()
{
    ::close(fd_); // the lock goes with the descriptor
}

} // namespace pelko
