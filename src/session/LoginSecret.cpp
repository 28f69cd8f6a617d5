#include "session/LoginSecret.h"

#include "config/Keyring.h"
#include "session/TokenCommand.h"
#include "wire/WireErrors.h"

namespace pelko {

namespace {

// A secret is sent as (part of) one command line: a line break inside it
// would end that line and make the rest a command of its own.
std::string RefuseLineBreaks(std::string secret, const MailAccount& account, const char* source)
{
    if (secret.find_first_of(std::string("\r\n\0", 3)) == std::string::npos)
        return secret;
    throw EWireException("The " +
                         std::string(account.secret.source == SecretSource::Command ? "token" : "password") +
                         " for " + account.name + " (" + account.host + ")" + source +
                         " holds a line break or a NUL byte; it is not sent to the server.");
}

} // namespace

std::string FetchLoginSecret(const MailAccount& account, int timeoutMs, const std::function<void()>& idle)
{
    switch (account.secret.source) {
    case SecretSource::Password:
        break;
    case SecretSource::Keyring: {
        std::string why;
        const auto kept = keyring::Lookup(account.name, account.host, timeoutMs, idle, &why);
        if (!kept)
            throw EWireException(why);
        return RefuseLineBreaks(*kept, account, " in the desktop keyring");
    }
    case SecretSource::Command:
        return RefuseLineBreaks(RunTokenCommand(account.secret.command, timeoutMs, idle), account,
                                " printed by its token command");
    }
    return RefuseLineBreaks(account.secret.password, account, " in Accounts.ini");
}

} // namespace pelko
