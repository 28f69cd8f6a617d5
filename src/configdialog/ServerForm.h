#pragma once
// The protocol and the connection an account's server text names, and the
// text rewritten for another choice (the Accounts page's server menu):
//   POP3  TLS "pop3s://host"   STARTTLS "pop3://host?starttls"   plain "host"
//   IMAP  TLS "imaps://host"   STARTTLS "imap://host?starttls"   plain "imap://host"
// The host (bracketed or not), a port other than the protocols' usual ones
// and, for IMAP, the mailbox ("/Lists") are kept as written.
#include <string>

namespace pelko {

enum class ServerProtocol { Pop3, Imap };
enum class ServerConnection { Tls, StartTls, Plain };

struct ServerForm {
    ServerProtocol protocol = ServerProtocol::Pop3;
    ServerConnection connection = ServerConnection::Plain;
};

ServerForm ReadServerForm(const std::string& host);
std::string WithServerForm(const std::string& host, ServerForm form);

} // namespace pelko
