#include "wire/Imap.h"
#include "wire/TlsTransport.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(Imap, BearerTokenGoesOverTlsOnly)
{
    const struct {
        const char* host;
        bool refused;
    } rows[] = {
        {"imap://mail.example.org", true},        {"mail.example.org:143", true},
        {"imap://mail.example.org?starttls", false}, {"imaps://mail.example.org/Work", false},
        {"imap://127.0.0.1:1143", false},         {"imap://[::1]", false},
    };
    for (const auto& row : rows) {
        TWireIMAP imap;
        imap.Host = row.host;
        imap.Secret = SecretKind::Token;
        bool refused = false;
        try {
            imap.RefuseBearerInClear();
        } catch (const EWireTlsError& e) {
            refused = true;
            EXPECT_EQ(e.what(), kImapTokenNeedsTlsText);
        }
        EXPECT_EQ(refused, row.refused) << row.host;
    }
    // Connect refuses before anything is connected.
    TWireIMAP imap;
    imap.Host = "imap://mail.example.org";
    imap.Mechanism = ImapLogin::XOAuth2;
    int made = 0;
    imap.TransportFactory = [&made](const HostSpec&) -> std::unique_ptr<Transport> {
        ++made;
        return nullptr;
    };
    EXPECT_THROW(imap.Connect(), EWireTlsError);
    EXPECT_EQ(made, 0);
}
