#include "wire/TempFiles.h"

#include <cstdlib>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

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

void removeAtExit() { RemoveAllTempFiles(); }

} // namespace

const std::string& TempPath()
{
    static const std::string path = [] {
        const char* env = std::getenv("TMPDIR");
        std::string dir = env && *env ? env : "/tmp";
        if (dir.back() != '/')
            dir += '/';
        return dir;
    }();
    return path;
}

std::string MakeTempFileName()
{
    static std::once_flag exitHook;
    std::call_once(exitHook, [] {
        registry();
        std::atexit(removeAtExit);
    });

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
