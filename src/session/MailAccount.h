#pragma once
// One mailbox to check, as a value: the name it goes by, the server as the
// account writes it, the user, and how it signs in (where the secret comes
// from, and the mechanism). Made from a record of the account table.
#include "config/AccountAuth.h"
#include "config/Commun.h"

#include <string>

namespace pelko {

struct MailAccount {
    std::string name;
    std::string host; // "host", "host:port", "pop3s://host", "pop3://host?starttls", "imaps://host", ...
    std::string user;
    AccountAuth secret; // read from the account's password line
};

MailAccount AccountOf(const TPOPAcc& record);

} // namespace pelko
