// The Accounts page's server menu: what a server text names, and the text
// another choice makes of it.
#include "configdialog/ServerForm.h"

#include <gtest/gtest.h>

#include <string>

namespace pelko {
namespace {

TEST(ServerForm, AChoiceRewritesTheSchemeAndKeepsHostPortAndMailbox)
{
    using P = ServerProtocol;
    using C = ServerConnection;
    const struct {
        std::string before;
        P readP;
        C readC;
        P toP;
        C toC;
        std::string after;
    } rows[] = {
        {"mail.example", P::Pop3, C::Plain, P::Imap, C::Tls, "imaps://mail.example"},
        {"mail.example:110", P::Pop3, C::Plain, P::Imap, C::StartTls, "imap://mail.example?starttls"},
        {"POP3S://mail.example:2995", P::Pop3, C::Tls, P::Imap, C::Plain, "imap://mail.example:2995"},
        {"pop3://[::1]:995?StartTLS", P::Pop3, C::StartTls, P::Pop3, C::Tls, "pop3s://[::1]"},
        {"imaps://mail.example:993/Lists/Pelko", P::Imap, C::Tls, P::Imap, C::StartTls,
         "imap://mail.example/Lists/Pelko?starttls"},
        {"imap://mail.example/Archive?starttls", P::Imap, C::StartTls, P::Pop3, C::Plain, "mail.example"},
        {"imap://[2001:db8::1]:143", P::Imap, C::Plain, P::Pop3, C::Tls, "pop3s://[2001:db8::1]"},
        {"2001:db8::1", P::Pop3, C::Plain, P::Pop3, C::StartTls, "pop3://[2001:db8::1]?starttls"},
        {"", P::Pop3, C::Plain, P::Imap, C::Tls, "imaps://"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.before);
        const ServerForm read = ReadServerForm(r.before);
        EXPECT_EQ(read.protocol, r.readP);
        EXPECT_EQ(read.connection, r.readC);
        EXPECT_EQ(WithServerForm(r.before, {r.toP, r.toC}), r.after);
    }
}

} // namespace
} // namespace pelko
