#include "WireTestUtil.h"
#include "wire/HostSpec.h"
#include "wire/WireClient.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

using namespace pelko;
using namespace pelko::test;

TEST(HostSpecForms, SchemesPortsAndBrackets)
{
    HostSpec s = ParseHostSpec("pop3s://mail.example.org");
    EXPECT_EQ(s.host, "mail.example.org");
    EXPECT_EQ(s.security, HostSecurity::Implicit);
    EXPECT_TRUE(s.hasPort);
    EXPECT_EQ(s.port, 995);
    EXPECT_TRUE(s.problem.empty());

    s = ParseHostSpec("POP3S://Mail.Example.org:9950/");
    EXPECT_EQ(s.host, "Mail.Example.org");
    EXPECT_EQ(s.port, 9950);
    EXPECT_EQ(s.security, HostSecurity::Implicit);

    s = ParseHostSpec("pop3://mail.example.org?starttls");
    EXPECT_EQ(s.security, HostSecurity::StartTls);
    EXPECT_FALSE(s.hasPort); // the component's 110
    s = ParseHostSpec("pop3://mail.example.org:1110?STARTTLS");
    EXPECT_EQ(s.security, HostSecurity::StartTls);
    EXPECT_EQ(s.port, 1110);
    s = ParseHostSpec("pop3://mail.example.org");
    EXPECT_EQ(s.security, HostSecurity::Plain);
    EXPECT_FALSE(s.hasPort);

    s = ParseHostSpec("[::1]:1110");
    EXPECT_EQ(s.host, "::1");
    EXPECT_TRUE(s.bracketed);
    EXPECT_EQ(s.port, 1110);
    EXPECT_EQ(s.security, HostSecurity::Plain);
    s = ParseHostSpec("[2001:db8::5]");
    EXPECT_EQ(s.host, "2001:db8::5");
    EXPECT_FALSE(s.hasPort);
    s = ParseHostSpec("pop3s://[::1]:2995");
    EXPECT_EQ(s.host, "::1");
    EXPECT_EQ(s.port, 2995);
    EXPECT_EQ(s.security, HostSecurity::Implicit);
    s = ParseHostSpec("pop3://[fe80::1%lo]?starttls");
    EXPECT_EQ(s.host, "fe80::1%lo");
    EXPECT_EQ(s.security, HostSecurity::StartTls);

    // The plain forms keep their reading.
    s = ParseHostSpec("mail.example.org");
    EXPECT_EQ(s.security, HostSecurity::Plain);
    EXPECT_FALSE(s.hasPort);
    EXPECT_TRUE(ParseHostSpec("host:abc").problem.empty());
    EXPECT_EQ(ParseHostSpec("::1").host, "::1");
}

TEST(HostSpecForms, ImapFormsNameTheMailbox)
{
    struct Row {
        const char* text;
        HostSecurity security;
        int port; // 0: the component's
        const char* mailbox;
    };
    for (const Row& r : {Row{"imaps://mail.example.org", HostSecurity::Implicit, 993, "INBOX"},
                         Row{"IMAPS://mail.example.org:9993/", HostSecurity::Implicit, 9993, "INBOX"},
                         Row{"imap://mail.example.org/Sent%20Items?STARTTLS", HostSecurity::StartTls, 0, "Sent Items"},
                         Row{"imap://[::1]:1143/Entw%C3%BCrfe", HostSecurity::Plain, 1143, "Entw\xC3\xBCrfe"},
                         Row{"imap://mail.example.org/Lists/pelko", HostSecurity::Plain, 0, "Lists/pelko"}}) {
        const HostSpec s = ParseHostSpec(r.text);
        EXPECT_TRUE(s.problem.empty()) << r.text << ": " << s.problem;
        EXPECT_EQ(s.protocol, HostProtocol::Imap) << r.text;
        EXPECT_EQ(s.security, r.security) << r.text;
        EXPECT_EQ(s.hasPort ? s.port : 0, r.port) << r.text;
        EXPECT_EQ(s.mailbox, r.mailbox) << r.text;
    }
    EXPECT_EQ(ParseHostSpec("pop3s://mail.example.org/").protocol, HostProtocol::Pop3);
    EXPECT_EQ(ParseHostSpec("pop3s://mail.example.org/").mailbox, "");
}

TEST(HostSpecForms, HalfUnderstoodTextsAreRefusedNotDowngraded)
{
    for (const char* text : {"pop3s://", "pop3s://:995", "pop3s://host?starttls", "pop3://host?starttsl",
                             "pop3://host?", "ftp://host", "pop3s://host:0", "pop3s://host:99999", "pop3s://host:",
                             "pop3s://::1", "pop3s://[::1", "pop3s://[::1]x", "pop3s://[host]", "pop3s://user@host",
                             "pop3s://host/inbox", "pop3s://ho st", "[::1", "[::1]:", "[::1]:http", "[]", "[127.0.0.1]",
                             "imaps://host?starttls", "imap://host/INBOX;UIDVALIDITY=7", "imap://host/a%2",
                             "imap://host/a%0D%0AA1 DELETE INBOX", "imap://user@host/INBOX"}) {
        const HostSpec s = ParseHostSpec(text);
        EXPECT_FALSE(s.problem.empty()) << text;
        EXPECT_EQ(s.problem.rfind("Cannot use the server address \"" + std::string(text) + "\": ", 0), 0u)
            << s.problem;
    }
    EXPECT_NE(ParseHostSpec("pop3://host?starttsl").problem.find("?starttls"), std::string::npos);
    EXPECT_NE(ParseHostSpec("pop3s://::1").problem.find("brackets"), std::string::npos);

    // Nothing is connected for such a text: not even a socket is made.
    TWireClient c;
    StatusLog log;
    log.hook(c);
    int made = 0;
    c.TransportFactory = [&made](const HostSpec&) -> std::unique_ptr<Transport> {
        ++made;
        return nullptr;
    };
    c.Host = "pop3s://mail.example.org?starttls";
    try {
        c.Connect();
        ADD_FAILURE() << "connected";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 11001);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot use the server address", 0), 0u);
    }
    EXPECT_EQ(made, 0);
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(log.lines, TStrings{"Connecting to pop3s://mail.example.org?starttls"});
}

TEST(HostSpecForms, IpLiterals)
{
    for (const char* yes : {"127.0.0.1", "::1", "2001:db8::5", "fe80::1%eth0", "::ffff:10.0.0.1"})
        EXPECT_TRUE(IsIpLiteral(yes)) << yes;
    for (const char* no : {"localhost", "mail.example.org", "127.0.0.1.", "", "1::2::3", "[::1]", "999.1.1.1",
                           "fe80::1%", "fe80::1%eth0]x", "fe80::1%a[b"})
        EXPECT_FALSE(IsIpLiteral(no)) << no;
    // Found by fuzzing: a zone full of brackets and high bytes made the
    // bracketed host keep a "[".
    const HostSpec spec = ParseHostSpec("[2001:d8::5%:\x88\x88[\x88]:110");
    EXPECT_FALSE(spec.problem.empty());
}
