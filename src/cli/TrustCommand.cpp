#include "cli/TrustCommand.h"

#include "cli/AccountsReader.h"
#include "cli/TerminalText.h"
#include "cli/CheckCommands.h"
#include "config/CertificatePins.h"
#include "config/SafeFile.h"
#include "session/CertificateProbe.h"
#include "cli/JsonText.h"
#include "mime/TextUtil.h"
#include "wire/HostSpec.h"

#include <istream>
#include <ostream>

namespace pelko::cli {

std::function<std::string(const std::string&, uint16_t)> PinLookup(const std::string& dir, const std::string& account)
{
    const std::string path = WithSlash(dir) + kPinsFileName;
    return [path, account](const std::string& host, uint16_t port) {
        return FindPinnedCertificate(path, account, host, port);
    };
}

// Outside text on one line, safe for a terminal.
static std::string Shown(const std::string& text)
{
    return TerminalText(OneLine(text));
}

std::string TrustHint(const std::string& account, const std::string& fingerprint)
{
    // The name as a shell word, to be copied as it is.
    std::string quoted = "'";
    for (char ch : Shown(account))
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    quoted += "'";
    return "pelko-check: " + Shown(account) + ": the server's certificate has the SHA-256 fingerprint " +
           fingerprint + "; if it is your server's, trust it with: pelko-check --trust-certificate " + quoted +
           "\n";
}

int RunTrust(const CheckOptions& o, std::istream& in, std::ostream& out, std::ostream& err)
{
    const std::string dir = WithSlash(o.dir);
    AccountTable accounts{};
    int count = 0;
    if (!ReadAccountsOrSay(dir, accounts, count, err))
        return kExitFailed;
    const int i = FindAccount(accounts, count, o.trustAccount);
    if (i == kNoAccount) {
        err << "pelko-check: no account named \"" << o.trustAccount << "\" in " << dir << "Accounts.ini\n";
        return kExitUsage;
    }
    const TPOPAcc& acc = accounts[size_t(i)];
    const std::string name = Shown(acc.acc_name);
    const HostSpec spec = ParseHostSpec(acc.host_name);
    if (spec.problem.empty() && spec.security == HostSecurity::Plain) {
        out << name << ": the account does not use TLS (pop3s:// or ?starttls): there is no certificate to trust.\n";
        return kExitFailed;
    }

    const CertificateProbe probe = ProbeCertificate(acc.host_name, o.timeoutMs, PinLookup(dir, acc.acc_name));
    switch (probe.result) {
    case CertificateProbe::NoTls:
        out << name << ": the server did not use TLS; nothing was stored.\n";
        return kExitFailed;
    case CertificateProbe::Trusted:
        out << name << ": the server's certificate is trusted already; nothing was stored.\n";
        return kExitOk;
    case CertificateProbe::Failed:
        out << name << ": error: " << Shown(probe.text) << "\n";
        return kExitFailed;
    case CertificateProbe::Refused:
        out << name << ": " << Shown(probe.text) << "\n";
        break;
    }
    const RefusedCertificate& refused = probe.refused;
    out << "Server: " << Shown(refused.host) << " port " << refused.port << "\n"
        << "SHA-256 fingerprint: " << refused.fingerprint << "\n"
        << "Compare it with the one your server shows. Trust this certificate for " << name
        << "? Type yes to trust it: " << std::flush;
    std::string answer;
    if (!std::getline(in, answer) || Trim(answer) != "yes") {
        out << "\n" << name << ": nothing was stored.\n";
        return kExitFailed;
    }
    try {
        TrustCertificate(dir + kPinsFileName, {acc.acc_name, refused.host, refused.port, refused.fingerprint});
    } catch (const FileWriteError& e) {
        err << "pelko-check: " << e.what() << "\n";
        return kExitFailed;
    }
    out << name << ": certificate trusted (kept in " << dir << kPinsFileName << ").\n";
    return kExitOk;
}

} // namespace pelko::cli
