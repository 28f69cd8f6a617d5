#pragma once
// The certificate box: a check the user started was refused for the server's
// certificate. The box tells why, which account, and the certificate's
// SHA-256 fingerprint, and offers to trust exactly that certificate for that
// account at that server and port (kept in Pelko.pins beside Accounts.ini).
#include "platform/Platform.h"

#include <string>

namespace pelko {

// Call while the failure is being handled (it looks at the exception in
// flight). why: the failure's text; accountLine: "Account: NAME (HOST)";
// account: the account's name; pinFile: where pins are kept. Returns false,
// showing nothing, when the failure is no refused certificate (the usual box
// is for it). A pin that cannot be stored is told in a box of its own.
bool OfferCertificateTrust(Platform& p, const std::string& why, const std::string& accountLine,
                           const std::string& account, const std::string& pinFile, DialogOwner owner = nullptr);

// The box's text for a refused certificate.
std::string CertificateBoxText(const std::string& why, const std::string& accountLine,
                               const std::string& fingerprint);

inline const std::string kTrustChoiceText = "&Trust this certificate";

} // namespace pelko
