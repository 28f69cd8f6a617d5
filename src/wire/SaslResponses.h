#pragma once
// What a client sends for the SASL mechanisms it signs in with, whatever
// command of its protocol carries it: the initial responses before Base64
// (PLAIN, RFC 4616; XOAUTH2; OAUTHBEARER, RFC 7628) and the answers that end
// an exchange the server turned into an error challenge.
#include <cstdint>
#include <string>

namespace pelko {

std::string SaslPlainResponse(const std::string& user, const std::string& password);
std::string SaslXOAuth2Response(const std::string& user, const std::string& token);
// The user as a SASL name ("," and "=" escaped), the host and port connected to.
std::string SaslOAuthBearerResponse(const std::string& user, const std::string& host, uint16_t port,
                                    const std::string& token);

// Calls an exchange off (RFC 4422), sent as it stands.
inline const std::string kSaslCancel = "*";
// OAUTHBEARER's answer to an error challenge, before Base64: a lone 0x01.
inline const std::string kOAuthBearerErrorAnswer(1, '\x01');

} // namespace pelko
