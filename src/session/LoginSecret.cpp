#include "session/LoginSecret.h"

#include "config/Keyring.h"
#include "session/TokenCommand.h"
#include "config/AccountAuth.h"
#include "wire/WireErrors.h"

namespace pelko {

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
    pop.Secret = SecretKind::Password;
    switch (auth.source) {
    case SecretSource::Password:
        pop.Password = auth.password;
        return;
    case SecretSource::Keyring: {
        std::string why;
        const auto kept = keyring::Lookup(accountName, pop.Host, &why);
        if (!kept)
            throw EWireException(why);
        pop.Password = *kept;
        return;
    }
    case SecretSource::Command:
        pop.Password = RunTokenCommand(auth.command, pop.Timeout > 0 ? pop.Timeout : 60000, idle);
        pop.Secret = SecretKind::Token;
        return;
    }
}

} // namespace pelko
