#include "mime/TempFiles.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

// Deliberately never destroyed: the exit handler may run after other static
// objects are gone, and it still needs the list.
struct Registry {
    std::mutex lock;
    std::set<std::string> paths;
};

Registry& registry()
{
    static Registry* r = new Registry;
    return *r;
}

// What the signal handler needs, set once before it is installed: open
// descriptors and fixed names, so that it calls nothing but system calls.
struct Place {
    std::string root;       // $TMPDIR/pelko-<user>/
    std::string dir;        // root + "<pid>/"
    int rootFd = -1;
    int dirFd = -1;
    int lockFd = -1;
    char dirName[24] = {};  // "<pid>"
    char lockName[32] = {}; // "<pid>.lock"
};

Place& place()
{
    static Place* p = new Place;
    return *p;
}

std::string systemTempDir()
{
    const char* env = std::getenv("TMPDIR");
    std::string dir = env && *env ? env : "/tmp";
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string userName()
{
    struct passwd pw {};
    struct passwd* found = nullptr;
    std::vector<char> buf(4096);
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && found->pw_name) {
        const std::string name = found->pw_name;
        if (!name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos)
            return name;
    }
    return std::to_string(geteuid());
}

// A directory of this user's only, mode 0700: made when missing, refused when
// the name is anything else (a link, another user's directory).
bool privateDirectory(const std::string& path)
{
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
        return false;
    return (st.st_mode & 07777) == 0700 || chmod(path.c_str(), 0700) == 0;
}

bool pidName(const std::string& text, pid_t& pid)
{
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    pid = pid_t(std::atol(text.c_str()));
    return pid > 0;
}

// Removes the files in root/name (nothing below it is entered), then the
// directory itself.
void removeRunDirectory(int rootFd, const std::string& name)
{
    const int fd = openat(rootFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        if (DIR* d = fdopendir(fd)) {
            std::vector<std::string> names;
            while (dirent* e = readdir(d))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    names.emplace_back(e->d_name);
            for (const std::string& n : names)
                unlinkat(fd, n.c_str(), 0);
            closedir(d); // closes fd
        } else {
            close(fd);
        }
    }
    unlinkat(rootFd, name.c_str(), AT_REMOVEDIR);
}

bool sameFile(int fd, int dirFd, const char* name)
{
    struct stat a {}, b {};
    return fstat(fd, &a) == 0 && fstatat(dirFd, name, &b, AT_SYMLINK_NOFOLLOW) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// Removes what runs that are gone left in the root. A run holds the lock on
// its "<pid>.lock" from before its directory exists until it has removed it:
// a lock that can be taken belongs to a run that is over. A directory with no
// lock file at all is removed once no process has its number.
void removeLeftovers(const Place& p, pid_t self)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(p.root.c_str())) {
        while (dirent* e = readdir(d))
            names.emplace_back(e->d_name);
        closedir(d);
    }
    for (const std::string& name : names) {
        pid_t pid = 0;
        const size_t dot = name.find(".lock");
        if (dot != std::string::npos && dot + 5 == name.size() && pidName(name.substr(0, dot), pid)) {
            if (pid == self)
                continue;
            const int fd = openat(p.rootFd, name.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
            if (fd < 0)
                continue;
            if (flock(fd, LOCK_EX | LOCK_NB) == 0 && sameFile(fd, p.rootFd, name.c_str())) {
                removeRunDirectory(p.rootFd, name.substr(0, dot));
                unlinkat(p.rootFd, name.c_str(), 0); // still locked: nobody takes it meanwhile
            }
            close(fd);
        } else if (pidName(name, pid) && pid != self) {
            const std::string lock = name + ".lock";
            if (faccessat(p.rootFd, lock.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0 && kill(pid, 0) != 0 &&
                errno == ESRCH)
                removeRunDirectory(p.rootFd, name);
        }
    }
}

// Empties the directory with system calls only (for the signal handler).
void emptyDirectoryNow(int dirFd)
{
    alignas(8) char buf[4096];
    for (int round = 0; round < 64; ++round) {
        if (lseek(dirFd, 0, SEEK_SET) != 0)
            return;
        const long n = syscall(SYS_getdents64, dirFd, buf, sizeof buf);
        if (n <= 0)
            return;
        bool removed = false;
        for (long off = 0; off < n;) {
            // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
            unsigned short reclen;
            std::memcpy(&reclen, buf + off + 16, sizeof reclen);
            const char* name = buf + off + 19;
            if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))))
                removed = unlinkat(dirFd, name, 0) == 0 || removed;
            if (reclen == 0)
                return;
            off += reclen;
        }
        if (!removed)
            return;
    }
}

void onTerminatingSignal(int sig)
{
    const int saved = errno;
    Place& p = place();
    emptyDirectoryNow(p.dirFd);
    unlinkat(p.rootFd, p.dirName, AT_REMOVEDIR);
    unlinkat(p.rootFd, p.lockName, 0);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    errno = saved;
    raise(sig); // blocked until the handler returns, then ends the process as it would have
}

void installSignalCleanup()
{
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction old {};
        // A signal that is ignored, or handled by the program itself, stays so.
        if (sigaction(sig, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
            continue;
        struct sigaction sa {};
        sa.sa_handler = onTerminatingSignal;
        sigfillset(&sa.sa_mask);
        sigaction(sig, &sa, nullptr);
    }
}

void removeAtExit()
{
    RemoveAllTempFiles();
    Place& p = place();
    if (p.dirFd < 0)
        return;
    removeRunDirectory(p.rootFd, p.dirName);
    unlinkat(p.rootFd, p.lockName, 0);
    close(p.lockFd); // the lock goes with it
}

// When the usual name is taken by something not ours: a directory of ours
// made for that case by an earlier run ("pelko-<user>-XXXXXX"), so that runs
// share one instead of leaving one each; else a new one.
bool substituteRoot(const std::string& tmp, const std::string& user, std::string& root)
{
    const std::string prefix = "pelko-" + user + "-";
    std::vector<std::string> candidates;
    if (DIR* d = opendir(tmp.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
                candidates.push_back(name);
        }
        closedir(d);
    }
    std::sort(candidates.begin(), candidates.end());
    for (const std::string& name : candidates) {
        struct stat st {};
        // Only an existing directory of ours; privateDirectory makes nothing here.
        if (lstat((tmp + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
            privateDirectory(tmp + name)) {
            root = tmp + name;
            return true;
        }
    }
    std::string tmpl = tmp + prefix + "XXXXXX";
    if (!mkdtemp(&tmpl[0]))
        return false;
    root = tmpl;
    return true;
}

// Sets up the place; false when no private directory can be had.
bool preparePlace(Place& p)
{
    const std::string tmp = systemTempDir();
    const std::string user = userName();
    std::string root = tmp + "pelko-" + user;
    if (!privateDirectory(root) && !substituteRoot(tmp, user, root))
        return false;
    p.root = root + "/";
    p.rootFd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (p.rootFd < 0)
        return false;

    const pid_t self = getpid();
    std::snprintf(p.dirName, sizeof p.dirName, "%ld", long(self));
    std::snprintf(p.lockName, sizeof p.lockName, "%ld.lock", long(self));
    // The lock first: while it is held, no other run takes this directory for a dead one's.
    for (int attempt = 0; attempt < 20 && p.lockFd < 0; ++attempt) {
        const int fd = openat(p.rootFd, p.lockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return false;
        if (flock(fd, LOCK_EX) == 0 && sameFile(fd, p.rootFd, p.lockName))
            p.lockFd = fd;
        else
            close(fd); // removed meanwhile by a run that found it free: make it anew
    }
    if (p.lockFd < 0)
        return false;
    // A directory of our number is a dead run's (process numbers come round again).
    removeRunDirectory(p.rootFd, p.dirName);
    if (mkdirat(p.rootFd, p.dirName, 0700) != 0)
        return false;
    p.dirFd = openat(p.rootFd, p.dirName, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (p.dirFd < 0)
        return false;
    p.dir = p.root + p.dirName + "/";
    removeLeftovers(p, self);
    return true;
}

} // namespace

void StartTempFiles()
{
    static std::once_flag once;
    std::call_once(once, [] {
        registry();
        Place& p = place();
        if (!preparePlace(p)) {
            // No private directory: the files still are the owner's only.
            p.dir = systemTempDir();
            p.dirFd = -1;
        } else {
            installSignalCleanup();
        }
        std::atexit(removeAtExit);
    });
}

const std::string& TempPath()
{
    StartTempFiles();
    return place().dir;
}

const std::string& TempFilesRoot()
{
    StartTempFiles();
    return place().root;
}

std::string MakeTempFileName()
{
    std::string name = TempPath() + "PBEXXXXXX";
    const int fd = mkstemp(&name[0]);
    if (fd < 0)
        return std::string();
    // mkstemp already uses 0600 here; attachments stay private even under an
    // unusual C library.
    fchmod(fd, S_IRUSR | S_IWUSR);
    close(fd);
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    r.paths.insert(name);
    return name;
}

void RemoveTempFile(const std::string& path)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    // Only files this program made: a path from anywhere else is left alone.
    if (r.paths.erase(path))
        unlink(path.c_str());
}

void RemoveAllTempFiles()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> g(r.lock);
    for (const std::string& p : r.paths)
        unlink(p.c_str());
    r.paths.clear();
}

} // namespace pelko
