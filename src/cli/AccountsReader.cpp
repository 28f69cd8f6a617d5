#include "cli/AccountsReader.h"

#include "cli/CheckCommands.h"
#include "cli/TerminalText.h"
#include "config/IniLookup.h"
#include "config/TrustedFiles.h"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <sys/stat.h>

namespace pelko::cli {

namespace {

// Why path cannot be read as a folder (wantFolder) or a file; empty when it can.
std::string unusable(const std::string& path, bool wantFolder)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return "cannot read " + path + ": " + std::strerror(errno);
    if (wantFolder && !S_ISDIR(st.st_mode))
        return "cannot read " + path + ": " + std::strerror(ENOTDIR);
    if (!wantFolder && !S_ISREG(st.st_mode))
        return "cannot read " + path + ": not a regular file";
    if (!wantFolder && size_t(st.st_size) > kMaxIniBytes)
        return "cannot read " + path + ": bigger than the " + std::to_string(kMaxIniBytes >> 20) +
               " MiB an account file may have";
    return UntrustedReason(path);
}

} // namespace

bool ReadAccounts(const std::string& dir, AccountTable& accounts, int& count, std::string& problem)
{
    count = 0;
    const std::string file = dir + "Accounts.ini";
    problem = unusable(dir, true);
    if (problem.empty())
        problem = unusable(file, false);
    std::string bytes;
    errno = 0;
    if (problem.empty() && !ReadIniBytes(file, bytes))
        problem = "cannot read " + file + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    if (!problem.empty())
        return false;
    const std::vector<std::string> lines = SplitIniLines(bytes);
    count = ReadAccountSections(
        [&lines](const std::string& section, const std::string& key) { return FindInLines(lines, section, key); },
        accounts);
    return true;
}

std::string WithSlash(std::string dir)
{
    if (dir.empty())
        return DefaultDir();
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

bool ReadAccountsOrSay(const std::string& dir, AccountTable& accounts, int& count, std::ostream& err)
{
    std::string problem;
    if (ReadAccounts(dir, accounts, count, problem))
        return true;
    err << "pelko-check: " << problem << "\n";
    return false;
}

int FindAccountOrSay(const AccountTable& accounts, int count, const std::string& name, const std::string& dir,
                     std::ostream& err)
{
    const int i = FindAccount(accounts, count, name);
    if (i == kNoAccount)
        err << "pelko-check: no account named \"" << TerminalText(name) << "\" in " << TerminalText(dir)
            << "Accounts.ini\n";
    return i;
}

int FindAccount(const AccountTable& accounts, int count, const std::string& name)
{
    for (int i = 1; i <= count; ++i)
        if (accounts[size_t(i)].acc_name == name)
            return i;
    return kNoAccount;
}

int FirstActiveAccount(const AccountTable& accounts, int count)
{
    for (int i = 1; i <= count; ++i)
        if (!accounts[size_t(i)].inactive && !accounts[size_t(i)].acc_name.empty())
            return i;
    return kNoAccount;
}

bool ChooseAccounts(const AccountTable& accounts, int count, const std::string& name, const std::string& dir,
                    std::vector<int>& chosen, bool& named, std::ostream& err)
{
    named = !name.empty();
    if (named) {
        const int i = FindAccountOrSay(accounts, count, name, dir, err);
        if (i == kNoAccount)
            return false;
        chosen.push_back(i);
        return true;
    }
    for (int i = 1; i <= count; ++i)
        if (!accounts[size_t(i)].inactive)
            chosen.push_back(i);
    if (chosen.empty())
        err << "pelko-check: no active account in " << TerminalText(dir) << "Accounts.ini\n";
    return !chosen.empty();
}

} // namespace pelko::cli
