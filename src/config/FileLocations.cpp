#include "config/FileLocations.h"

#include "config/SafeFile.h"
#include "config/SettingsFile.h"
#include "config/TrustedFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

std::string withSlash(std::string dir)
{
    if (dir.empty() || dir.back() != '/')
        dir += '/';
    return dir;
}

bool isDirectory(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isFile(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string currentDirectory()
{
    std::vector<char> buf(4096);
    return ::getcwd(buf.data(), buf.size()) ? std::string(buf.data()) : std::string("/");
}

// The last path component of a directory name ("a/b/" and "a/b" give "b").
std::string lastName(std::string dir)
{
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    const size_t slash = dir.rfind('/');
    return slash == std::string::npos ? dir : dir.substr(slash + 1);
}

} // namespace

void MakePrivateDirs(const std::string& dir)
{
    std::string path;
    size_t pos = 0;
    while (pos < dir.size()) {
        const size_t next = dir.find('/', pos + 1);
        path = dir.substr(0, next);
        pos = next == std::string::npos ? dir.size() : next;
        if (path.empty() || path == "/" || isDirectory(path))
            continue;
        if (::mkdir(path.c_str(), 0700) == 0)
            continue;
        if (errno != EEXIST)
            throw FileWriteError("Cannot create " + path + ": " + std::strerror(errno));
        if (!isDirectory(path))
            throw FileWriteError("Cannot create " + withSlash(dir) + ": " + path + " is not a folder");
    }
}

EnvLookup ProcessEnvironment()
{
    return [](const char* name) -> const char* { return std::getenv(name); };
}

std::string ExecutablePath()
{
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    return n > 0 ? std::string(buf.data(), static_cast<size_t>(n)) : std::string();
}

std::string ExecutableDirectory()
{
    const std::string path = ExecutablePath();
    return path.empty() ? "./" : path.substr(0, path.rfind('/') + 1);
}

std::string InstalledDataDir(const std::string& exeDir)
{
    std::string dir = exeDir;
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (lastName(dir) != "bin")
        return {};
    const std::string data = dir.substr(0, dir.size() - 3) + "share/pelko/";
    return isDirectory(data) ? data : std::string();
}

std::string UserConfigHome(const EnvLookup& env)
{
    const char* xdg = env("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return xdg;
    const char* home = env("HOME");
    std::string h = home && *home ? home : "";
    if (h.empty()) {
        if (const passwd* pw = ::getpwuid(::getuid()))
            h = pw->pw_dir;
    }
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    return h + "/.config";
}

FileLocations LocateFiles(const std::string& exeDir, const EnvLookup& env)
{
    FileLocations where;
    where.dataDir = InstalledDataDir(exeDir);
    const char* own = env("PELKO_DIR");
    if (own && *own) {
        std::string dir = own;
        if (dir[0] != '/')
            dir = withSlash(currentDirectory()) + dir;
        where.programDir = withSlash(dir);
    } else if (where.dataDir.empty() || isFile(withSlash(exeDir) + "Pelko.ini")) {
        where.programDir = withSlash(exeDir);
    } else {
        where.programDir = UserConfigHome(env) + "/pelko/";
        where.userConfig = true;
    }
    return where;
}

void PrepareFiles(const FileLocations& where)
{
    if (where.userConfig)
        MakeFirstFiles(where);
    CheckOwnFiles(where.programDir);
}

void MakeFirstFiles(const FileLocations& where)
{
    // Nothing is made in a folder that another user controls.
    std::string existing = where.programDir;
    while (existing.size() > 1 && ::access(existing.c_str(), F_OK) != 0)
        existing = existing.substr(0, existing.rfind('/', existing.size() - 2) + 1);
    const std::string reason = UntrustedReason(existing, TrustFor::CreateIn);
    if (!reason.empty())
        throw UntrustedFile(reason);
    MakePrivateDirs(where.programDir);
    const std::string ini = where.programDir + "Pelko.ini";
    if (isFile(ini))
        return;
    SettingsLines first;
    first.current_skin = where.dataDir + "skins/default/";
    first.autocheck = true;
    first.autoconnect = true;
    first.posX = first.posY = 40;
    first.icon_tray = true;
    first.notify = true;
    SaveSettingsFile(ini, first);
}

std::string ResolveSkinDir(const std::string& value, const std::string& installedSkins)
{
    if (installedSkins.empty() || isDirectory(value))
        return value;
    const std::string name = lastName(value);
    if (name.empty() || name == "." || name == ".." || name == "/")
        return value;
    const std::string installed = installedSkins + name + "/";
    return isDirectory(installed) ? installed : value;
}

std::string InstalledSkinsDir()
{
    static const std::string dir = [] {
        const std::string data = InstalledDataDir(ExecutableDirectory());
        return data.empty() ? data : data + "skins/";
    }();
    return dir;
}

} // namespace pelko
