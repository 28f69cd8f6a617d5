#pragma once
// A scratch directory for the file tests, removed with everything in it.
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko::testing {

class ScratchDir {
public:
    ScratchDir() : path_("/tmp/pelko-config-XXXXXX")
    {
        if (!mkdtemp(&path_[0]))
            throw std::runtime_error("cannot make " + path_);
    }
    ~ScratchDir()
    {
        if (mounted_)
            umount2(path_.c_str(), MNT_DETACH);
        for (const std::string& name : names())
            unlink(file(name).c_str());
        rmdir(path_.c_str());
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& bytes) const { std::ofstream(file(name)) << bytes; }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    mode_t mode(const std::string& name) const
    {
        struct stat st{};
        return stat(file(name).c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
    }
    std::set<std::string> names() const
    {
        std::set<std::string> out;
        if (DIR* d = opendir(path_.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    out.insert(e->d_name);
            closedir(d);
        }
        return out;
    }
    // Puts a tmpfs over the directory; false where that is not allowed (not root).
    bool mountTmpfs(const std::string& options, bool readOnly = false)
    {
        mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", 0, options.c_str()) == 0;
        write("Pelko.ini", "old content\r\n");
        return mounted_ && (!readOnly || mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0);
    }

private:
    std::string path_;
    bool mounted_ = false;
};

} // namespace pelko::testing
