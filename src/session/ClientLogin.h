#pragma once
// What every protocol's client takes from an account before it signs in:
// the server form, the user, the mechanism (as the client names it), the
// kind of secret and the secret itself, fetched just before the login.
#include "session/LoginSecret.h"
#include "session/MailAccount.h"

#include <cstddef>
#include <functional>
#include <utility>

namespace pelko {

// logins: the client's login for each mechanism an account may name (the
// first is the automatic choice). Nothing is fetched (no token command run)
// for a login the client would refuse anyway (a bearer token in clear).
template <class Client, class Login, size_t N>
void PrepareClientLogin(Client& client, const MailAccount& account, const std::pair<AuthMechanism, Login> (&logins)[N],
                        const std::function<void()>& idle)
{
    client.Host = account.host;
    client.UserID = account.user;
    client.Mechanism = logins[0].second;
    for (const auto& [mechanism, login] : logins)
        if (mechanism == account.secret.mechanism)
            client.Mechanism = login;
    client.Secret = account.secret.source == SecretSource::Command ? SecretKind::Token : SecretKind::Password;
    client.RefuseBearerInClear();
    client.Password = FetchLoginSecret(account, client.Timeout > 0 ? client.Timeout : 60000, idle);
}

} // namespace pelko
