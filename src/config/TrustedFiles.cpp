#include "config/TrustedFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace pelko {

namespace {

// The user's own group: the user's primary group, named after the user, with
// nobody else listed in it.
bool privateGroup(gid_t gid)
{
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* user = nullptr;
    if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &user) != 0 || !user || user->pw_gid != gid)
        return false;
    const std::string name = user->pw_name;
    std::vector<char> gbuf(65536);
    struct group gr {};
    struct group* found = nullptr;
    if (getgrgid_r(gid, &gr, gbuf.data(), gbuf.size(), &found) != 0 || !found || name != found->gr_name)
        return false;
    for (char** member = found->gr_mem; member && *member; ++member)
        if (name != *member)
            return false;
    return true;
}

std::string modeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", unsigned(mode & 07777));
    return text;
}

// What is wrong with one folder or file on the way; empty when nothing.
std::string problemWith(const std::string& name, const struct stat& st, bool stickyOk)
{
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return name + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    const bool othersWrite = (st.st_mode & S_IWOTH) || ((st.st_mode & S_IWGRP) && !privateGroup(st.st_gid));
    if (othersWrite && !(stickyOk && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)))
        return "other users can write to " + name + " (mode " + modeText(st.st_mode) + ")";
    return {};
}

} // namespace

std::string UntrustedReason(const std::string& path, TrustFor what)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved)
        return {};
    const std::string real(resolved);
    std::free(resolved);
    // From the root down to the path itself, links resolved.
    std::vector<std::string> parts{"/"};
    for (size_t i = 1; i <= real.size() && real != "/"; ++i)
        if (i == real.size() || real[i] == '/')
            parts.push_back(real.substr(0, i));
    for (size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        struct stat st {};
        if (::stat(parts[k].c_str(), &st) != 0)
            return "Not using " + path + ": " + parts[k] + ": " + std::strerror(errno);
        const std::string problem = problemWith(parts[k], st, !last || what == TrustFor::CreateIn);
        if (!problem.empty())
            return "Not using " + path + ": " + problem;
    }
    return {};
}

void CheckOwnFiles(const std::string& programDir)
{
    for (const std::string& path : {programDir, programDir + "Pelko.ini", programDir + "Accounts.ini"}) {
        const std::string reason = UntrustedReason(path);
        if (!reason.empty())
            throw UntrustedFile(reason);
    }
}

} // namespace pelko
