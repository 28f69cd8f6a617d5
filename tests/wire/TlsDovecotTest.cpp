// POP3 over TLS against the test run's dovecot (users 8 to 10 of the wire
// tests' range are used here).
#include "Dovecot.h"
#include "TestCertificates.h"
#include "WireTestUtil.h"
#include "wire/Pop3.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <cstdlib>
#include <gtest/gtest.h>

using namespace pelko;
using namespace pelko::test;

namespace {

#define NEED_DOVECOT_TLS()                                                                 \
    if (!DovecotTlsAvailable())                                                            \
    GTEST_SKIP() << "no test dovecot with TLS (server not started, or no openssl to make its certificate)"

int LoginAndCount(const std::string& host, int user, TStrings* statuses = nullptr)
{
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    pop.Host = host;
    pop.UserID = DovecotUser(user);
    pop.Password = DovecotPassword(user);
    pop.Timeout = 10000;
    pop.Connect();
    EXPECT_TRUE(pop.Secure()) << host;
    const int count = pop.CheckMessages();
    EXPECT_EQ(pop.CheckError, "") << host;
    pop.Disconnect();
    if (statuses)
        *statuses = log.lines;
    return count;
}

std::string Message(const std::string& subject)
{
    return Crlf("From: Tester <tester@example.org>\nSubject: " + subject + "\n\nbody\n");
}

} // namespace

TEST(TlsDovecot, ImplicitTlsByNameAndByAddress)
{
    NEED_DOVECOT_TLS();
    TrustTestCertificates();
    DovecotClearMailbox(8);
    DovecotAddMessage(8, Message("one"));
    DovecotAddMessage(8, Message("two"));
    TStrings statuses;
    EXPECT_EQ(LoginAndCount("pop3s://localhost:" + std::to_string(DovecotTlsPort()), 8, &statuses), 2);
    EXPECT_EQ(LoginAndCount("POP3S://127.0.0.1:" + std::to_string(DovecotTlsPort()), 8), 2);
    ASSERT_GE(statuses.size(), 6u);
    EXPECT_EQ(statuses[2].rfind("Secure connection: TLSv1.", 0), 0u) << statuses[2];
    EXPECT_EQ(statuses[3], "Connected");
    EXPECT_EQ(statuses[5], "  Password is valid");
}

TEST(TlsDovecot, StlsOnThePlainPort)
{
    NEED_DOVECOT_TLS();
    TrustTestCertificates();
    DovecotClearMailbox(9);
    DovecotAddMessage(9, Message("three"));
    EXPECT_EQ(LoginAndCount("pop3://localhost:" + std::to_string(DovecotPort()) + "?starttls", 9), 1);

    // The plain port itself still logs in without TLS, as before.
    TWirePOP3 plain;
    plain.Host = "127.0.0.1:" + std::to_string(DovecotPort());
    plain.UserID = DovecotUser(9);
    plain.Password = DovecotPassword(9);
    plain.Connect();
    EXPECT_FALSE(plain.Secure());
    EXPECT_EQ(plain.CheckMessages(), 1);
    plain.Disconnect();
}

TEST(TlsDovecot, TrustComesFromTheStandardVariable)
{
    NEED_DOVECOT_TLS();
    // A store without the server's certificate: the very same login is refused,
    // and the server never sees the user name.
    const std::string other = WriteTrustFile("other", TestCertificate(TestCert::OtherName).certPem);
    ASSERT_EQ(::setenv("SSL_CERT_FILE", other.c_str(), 1), 0);
    TWirePOP3 pop;
    pop.Host = "pop3s://localhost:" + std::to_string(DovecotTlsPort());
    pop.UserID = DovecotUser(10);
    pop.Password = DovecotPassword(10);
    pop.Timeout = 10000;
    try {
        pop.Connect();
        ADD_FAILURE() << "an unknown certificate was trusted";
    } catch (const EWireTlsError& e) {
        EXPECT_EQ(std::string(e.what()), "TLS certificate problem: self-signed certificate");
    }
    EXPECT_FALSE(pop.Connected());

    TrustTestCertificates(); // and back: the next connection trusts it again
    EXPECT_EQ(LoginAndCount(pop.Host, 10), DovecotMessageCount(10));
}
