#include "config/AccountAuth.h"

#include "config/SettingsFile.h"

namespace pelko {

namespace {

constexpr const char* kPrefix = "{pelko:";

// Each value with its name in the marker, both ways; the first entry's name is
// also that of a value the table does not hold.
template <class E>
struct Named {
    E value;
    const char* name;
};

constexpr Named<SecretSource> kSourceNames[] = {
    {SecretSource::Password, "password"},
    {SecretSource::Keyring, "keyring"},
    {SecretSource::Command, "command"},
};

// Automatic has no name: the marker then carries no ":" part.
constexpr Named<AuthMechanism> kMechanismNames[] = {
    {AuthMechanism::Automatic, ""},
    {AuthMechanism::Plain, "plain"},
    {AuthMechanism::XOAuth2, "xoauth2"},
    {AuthMechanism::OAuthBearer, "oauthbearer"},
};

template <class E, size_t N>
const char* NameOf(const Named<E> (&table)[N], E value)
{
    for (const Named<E>& entry : table)
        if (entry.value == value)
            return entry.name;
    return table[0].name;
}

// false when no value has that name.
template <class E, size_t N>
bool ValueOf(const Named<E> (&table)[N], const std::string& name, E& value)
{
    for (const Named<E>& entry : table)
        if (name == entry.name) {
            value = entry.value;
            return true;
        }
    return false;
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
    if (!ValueOf(kMechanismNames, mechanism, auth.mechanism) || !ValueOf(kSourceNames, source, auth.source))
        return plain;
    switch (auth.source) {
    case SecretSource::Password:
        auth.password = rest;
        break;
    case SecretSource::Keyring:
        if (!rest.empty())
            return plain;
        break;
    case SecretSource::Command:
        if (rest.empty())
            return plain;
        auth.command = rest;
        break;
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
        field = std::string(kPrefix) + NameOf(kSourceNames, auth.source) + std::string(size_t(filler), ';') +
                (auth.mechanism == AuthMechanism::Automatic ? "" : ":") + NameOf(kMechanismNames, auth.mechanism) +
                "}" + rest;
        if (PasswordStorable(field, nullptr))
            break;
    }
    return field;
}

} // namespace pelko
