#include "app/CertificateBox.h"

#include "config/CertificatePins.h"
#include "config/SafeFile.h"
#include "wire/TlsTransport.h"

#include <exception>

namespace pelko {

std::string CertificateBoxText(const std::string& why, const std::string& accountLine,
                               const std::string& fingerprint)
{
    return why + "\r" + accountLine + "\r\rSHA-256 fingerprint of the server's certificate:\r" + fingerprint +
           "\r\rIf this is your own server's certificate (compare the fingerprint with the one the server "
           "shows), Pelko can trust it for this account from now on. Only this certificate is trusted; "
           "if it changes, Pelko asks again.";
}

bool OfferCertificateTrust(Platform& p, const std::string& why, const std::string& accountLine,
                           const std::string& account, const std::string& pinFile, DialogOwner owner)
{
    RefusedCertificate refused;
    try {
        if (!std::current_exception())
            return false;
        throw;
    } catch (const EWireTlsError& e) {
        refused = e.Refused;
    } catch (...) {
        return false;
    }
    if (refused.fingerprint.empty() || account.empty())
        return false;
    if (!p.choiceBox(CertificateBoxText(why, accountLine, refused.fingerprint), kTrustChoiceText, owner))
        return true;
    try {
        TrustCertificate(pinFile, {account, refused.host, refused.port, refused.fingerprint});
    } catch (const FileWriteError& e) {
        p.messageBox(std::string("The certificate could not be trusted.\r") + e.what(), owner);
    }
    return true;
}

} // namespace pelko
