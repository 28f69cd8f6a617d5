#include "session/LoginSecret.h"

#include "config/Keyring.h"
#include "session/TokenCommand.h"
#include "config/AccountAuth.h"
#include "wire/WireErrors.h"

namespace pelko {

namespace {

// A secret is sent as (part of) one command line: a line break inside it
// would end that line and make the rest a command of its own.
void RefuseLineBreaks(const TWirePOP3& pop, const std::string& accountName, const char* source)
{
    if (pop.Password.find_first_of(std::string("\r\n\0", 3)) == std::string::npos)
        return;
    throw EWireException("The " + std::string(pop.Secret == SecretKind::Token ? "token" : "password") + " for " +
                         accountName + " (" + pop.Host + ")" + source +
                         " holds a line break or a NUL byte; it is not sent to the server.");
}

void TakeSecret(TWirePOP3& pop, const AccountAuth& auth, const std::string& accountName,
                const std::function<void()>& idle)
{
    const int timeoutMs = pop.Timeout > 0 ? pop.Timeout : 60000;
    switch (auth.source) {
    case SecretSource::Password:
        pop.Password = auth.password;
        RefuseLineBreaks(pop, accountName, " in Accounts.ini");
        return;
    case SecretSource::Keyring: {
        std::string why;
        const auto kept = keyring::Lookup(accountName, pop.Host, timeoutMs, idle, &why);
        if (!kept)
            throw EWireException(why);
        pop.Password = *kept;
        RefuseLineBreaks(pop, accountName, " in the desktop keyring");
        return;
    }
    case SecretSource::Command:
        pop.Password = RunTokenCommand(auth.command, timeoutMs, idle);
        pop.Secret = SecretKind::Token;
        RefuseLineBreaks(pop, accountName, " printed by its token command");
        return;
    }
}

} // namespace

void PrepareLogin(TWirePOP3& pop, const std::string& accountName, const std::function<void()>& idle)
{
    const AccountAuth auth = ReadAccountAuth(pop.Password);
    switch (auth.mechanism) {
    case AuthMechanism::Automatic:
        pop.Mechanism = Pop3Login::Automatic;
        break;
    case AuthMechanism::Plain:
        pop.Mechanism = Pop3Login::Plain;
        break;
    case AuthMechanism::XOAuth2:
        pop.Mechanism = Pop3Login::XOAuth2;
        break;
    case AuthMechanism::OAuthBearer:
        pop.Mechanism = Pop3Login::OAuthBearer;
        break;
    }
    pop.Secret = auth.source == SecretSource::Command ? SecretKind::Token : SecretKind::Password;
    // Nothing is fetched (no token command run) for a login that would be
    // refused anyway.
    pop.RefuseBearerInClear();
    TakeSecret(pop, auth, accountName, idle);
}

} // namespace pelko
