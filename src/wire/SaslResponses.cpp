#include "wire/SaslResponses.h"

namespace pelko {

std::string SaslPlainResponse(const std::string& user, const std::string& password)
{
    return std::string(1, '\0') + user + std::string(1, '\0') + password;
}

std::string SaslXOAuth2Response(const std::string& user, const std::string& token)
{
    return "user=" + user + "\x01" "auth=Bearer " + token + "\x01\x01";
}

std::string SaslOAuthBearerResponse(const std::string& user, const std::string& host, uint16_t port,
                                    const std::string& token)
{
    std::string name;
    for (char c : user)
        name += c == ',' ? std::string("=2C") : c == '=' ? std::string("=3D") : std::string(1, c);
    return "n,a=" + name + ",\x01host=" + host + "\x01port=" + std::to_string(port) + "\x01" "auth=Bearer " +
           token + "\x01\x01";
}

} // namespace pelko
