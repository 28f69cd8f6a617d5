#include "config/AccountSections.h"

#include "config/IniLookup.h"
#include "config/Scramble.h"

namespace pelko {

std::string AccountSectionName(int n)
{
    return "[account" + std::to_string(n) + "]";
}

int ReadAccountSections(const SectionLookup& lookup, AccountTable& accounts)
{
    int count = 0;
    for (int n = 1; n <= kMaxAccounts; ++n) {
        const std::string section = AccountSectionName(n);
        TPOPAcc acc;
        acc.acc_name = lookup(section, "acc_name");
        if (acc.acc_name.empty() || acc.acc_name == kNone)
            break;
        acc.host_name = lookup(section, "host_name");
        acc.user_name = lookup(section, "user_name");
        acc.password = Unscramble(lookup(section, "password"), kPasswordKey);
        acc.inactive = lookup(section, "inactive") == "1";
        // A missing line gives "none", which is accepted as the value; only an
        // empty one makes the account unusable.
        if (acc.host_name.empty() || acc.user_name.empty() || acc.password.empty())
            continue;
        accounts[size_t(++count)] = acc;
    }
    return count;
}

} // namespace pelko
