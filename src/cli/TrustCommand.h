#pragma once
// pelko-check and the certificates the user chose to trust (Pelko.pins
// beside Accounts.ini, shared with the window): the checks use them, a
// refused certificate is named by its fingerprint, and --trust-certificate
// NAME stores the one the server presents once the user has said yes.
#include "cli/CheckOptions.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>

namespace pelko::cli {

// The hook for TWireClient::TrustedCertificate: the pin of account in
// dir (ending in "/") for the server asked about.
std::function<std::string(const std::string& host, uint16_t port)> PinLookup(const std::string& dir,
                                                                         const std::string& account);

// The line on stderr after a refused certificate: its fingerprint and how
// to trust it.
std::string TrustHint(const std::string& account, const std::string& fingerprint);

// --trust-certificate NAME: connects to the account's server as far as the
// TLS handshake (no user name or password is sent), shows why its
// certificate is refused and its SHA-256 fingerprint, asks on out, and
// stores the pin when the answer read from in is "yes". Exit status: 0
// stored (or trusted already), 1 not stored, 2 no such account.
int RunTrust(const CheckOptions& o, std::istream& in, std::ostream& out, std::ostream& err);

} // namespace pelko::cli
