#pragma once
// A lock for writers that read a file, merge their part into it and write it
// back: while one holds it, the others wait their turn instead of replacing
// each other's part.
#include <string>

namespace pelko {

class FileLock {
public:
    // Takes an exclusive lock on lockPath, a regular file of this user made
    // (mode 0600) when missing and left in place afterwards. Waits at most
    // waitMs for another holder. Throws FileWriteError naming forPath, the
    // file the lock guards, when the lock cannot be had.
    FileLock(const std::string& lockPath, const std::string& forPath, int waitMs);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace pelko
