#include "cli/AccountsReader.h"

#include "config/IniLookup.h"

namespace pelko::cli {

int ReadAccounts(const std::string& dir, AccountTable& accounts)
{
    const IniFile file(dir + "Accounts.ini", IfUnreadable::Empty);
    return ReadAccountSections(
        [&file](const std::string& section, const std::string& key) { return file.find(section, key); }, accounts);
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

} // namespace pelko::cli
