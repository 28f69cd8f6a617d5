#include "config/AccountAuth.h"

namespace pelko {

namespace {

constexpr const char* kPrefix = "{pelko:";

const char* SourceName(SecretSource s)
{
    switch (s) {
    case SecretSource::Keyring:
        return "keyring";
    case SecretSource::Command:
        return "command";
    case SecretSource::Password:
        break;
    }
    return "password";
}

const char* MechanismName(AuthMechanism m)
{
    switch (m) {
    case AuthMechanism::Plain:
        return "plain";
    case AuthMechanism::XOAuth2:
        return "xoauth2";
    case AuthMechanism::OAuthBearer:
        return "oauthbearer";
    case AuthMechanism::Automatic:
        break;
    }
    return "";
}

} // namespace

AccountAuth ReadAccountAuth(const std::string& field)
{
    AccountAuth plain;
    plain.password = field;
    const std::string prefix = kPrefix;
    const size_t close = field.find('}');
    if (field.rfind(prefix, 0) != 0 || close == std::string::npos)
        return plain;
    const std::string inside = field.substr(prefix.size(), close - prefix.size());
    const std::string rest = field.substr(close + 1);
    const size_t colon = inside.find(':');
    const std::string source = inside.substr(0, colon);
    const std::string mechanism = colon == std::string::npos ? "" : inside.substr(colon + 1);

    AccountAuth auth;
    if (mechanism == "plain")
        auth.mechanism = AuthMechanism::Plain;
    else if (mechanism == "xoauth2")
        auth.mechanism = AuthMechanism::XOAuth2;
    else if (mechanism == "oauthbearer")
        auth.mechanism = AuthMechanism::OAuthBearer;
    else if (!mechanism.empty())
        return plain;
    if (source == "password") {
        auth.password = rest;
    } else if (source == "keyring" && rest.empty()) {
        auth.source = SecretSource::Keyring;
    } else if (source == "command" && !rest.empty()) {
        auth.source = SecretSource::Command;
        auth.command = rest;
    } else {
        return plain;
    }
    return auth;
}

std::string AccountAuthField(const AccountAuth& auth)
{
    const std::string marker = std::string(kPrefix) + SourceName(auth.source) +
                               (auth.mechanism == AuthMechanism::Automatic ? "" : ":") +
                               MechanismName(auth.mechanism) + "}";
    switch (auth.source) {
    case SecretSource::Keyring:
        return marker;
    case SecretSource::Command:
        return marker + auth.command;
    case SecretSource::Password:
        break;
    }
    // A password that would read as a marker is written with one, so that it
    // reads back as this very password.
    if (auth.mechanism == AuthMechanism::Automatic && ReadAccountAuth(auth.password).source == SecretSource::Password &&
        ReadAccountAuth(auth.password).password == auth.password &&
        ReadAccountAuth(auth.password).mechanism == AuthMechanism::Automatic)
        return auth.password;
    return marker + auth.password;
}

} // namespace pelko
