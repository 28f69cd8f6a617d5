#include "config/AccountAuth.h"

#include "config/SettingsFile.h"

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
    std::string source = inside.substr(0, colon);
    // ";" after the source name are filler (see AccountAuthField).
    while (!source.empty() && source.back() == ';')
        source.pop_back();
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
    if (auth.source == SecretSource::Password && auth.mechanism == AuthMechanism::Automatic) {
        // A password that would read as a marker is written with one, so
        // that it reads back as this very password.
        const AccountAuth back = ReadAccountAuth(auth.password);
        if (back.source == SecretSource::Password && back.mechanism == AuthMechanism::Automatic &&
            back.password == auth.password)
            return auth.password;
    }
    const std::string rest = auth.source == SecretSource::Command    ? auth.command
                             : auth.source == SecretSource::Password ? auth.password
                                                                     : std::string();
    // The scrambled line must not hold bytes the file cannot keep; filler
    // ";" after the source name change the scramble until it holds none.
    std::string field;
    for (int filler = 0; filler < 32; ++filler) {
        field = std::string(kPrefix) + SourceName(auth.source) + std::string(size_t(filler), ';') +
                (auth.mechanism == AuthMechanism::Automatic ? "" : ":") + MechanismName(auth.mechanism) + "}" +
                rest;
        if (PasswordStorable(field, nullptr))
            break;
    }
    return field;
}

} // namespace pelko
