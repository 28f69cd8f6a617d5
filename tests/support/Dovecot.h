#pragma once
// The test run's dovecot (started once by the ctest fixture, see dovecot.sh),
// found through PELKO_DOVECOT_DIR (or, when unset, <build>/dovecot next to
// the test binary's directory). Each test area owns its users so that test
// binaries running side by side never share a mailbox:
//   wire 1-10, cli 11-14, app 15-28 and 49-50, viewer 29-40 and 51, session 41-47
//   (45-47: the watch), cli 48 and 53 (the watch).
#include <string>

namespace pelko {

// True when the server of this test run is up (its port file exists).
bool DovecotAvailable();
int DovecotPort();
std::string DovecotDir();
// POP3 over TLS on its second port, with a certificate for localhost and
// 127.0.0.1 (DIR/cert.pem) that the client trusts only when told to (see
// TlsPeer.h: TrustTestCertificates). The plain port also offers STLS then.
bool DovecotTlsAvailable();
int DovecotTlsPort();
std::string DovecotCertFile();

// IMAP on the same mailboxes (with dovecot's imapd installed): plain, with
// STARTTLS offered when TLS is, and over TLS on a port of its own.
int DovecotImapPort();
int DovecotImapsPort();

std::string DovecotUser(int n);     // "userN"
std::string DovecotPassword(int n); // "passN"

// Removes every message of user n (new and cur).
void DovecotClearMailbox(int n);
// Drops a message (CR LF line ends) into user n's Maildir/new, owned by the
// mail user, mode 0644. It is seen at the next login.
void DovecotAddMessage(int n, const std::string& rfc822CRLF);
// Messages of user n on disk (new and cur).
int DovecotMessageCount(int n);
// Marks the message that DovecotAddMessage added index-th (from 0, among
// those on disk) read, as another mail client would.
void DovecotMarkSeen(int n, int index);
// Throws away the server's index of user n's mailbox: the mailbox comes
// back with a new UIDVALIDITY and its messages numbered afresh.
void DovecotRenumberMailbox(int n);

} // namespace pelko
