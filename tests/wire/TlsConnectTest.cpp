// POP3 over TLS against scripted peers: the good paths, the certificate
// problems, and peers that break the handshake.
#include "ScriptedPeer.h"
#include "TlsPeer.h"
#include "WireTestUtil.h"
#include "wire/Pop3.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <openssl/ssl.h>

using namespace pelko;
using namespace pelko::test;

namespace {

// After the greeting (which comes before "STLS", or first over TLS).
const char kLoginAndCount[] = "C: User joe\nS: +OK\nC: Pass secret\nS: +OK\n"
                              "C: UIDL\nS: +OK\nS: 1 a\nS: 2 b\nS: .\nC: Quit\n";

void Prepare(TWirePOP3& pop, const std::string& host)
{
    pop.Host = host;
    pop.UserID = "joe";
    pop.Password = "secret";
    pop.Timeout = 5000;
}

// The message of the exception Connect raises ("" when it connects).
std::string ConnectError(TWirePOP3& pop)
{
    try {
        pop.Connect();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

long long MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST(TlsConnect, ImplicitTlsLogsInAndCounts)
{
    TrustTestCertificates();
    for (const std::string name : {"localhost", "127.0.0.1"}) {
        TlsPeer peer(std::string("TLS\nS: +OK hi\n") + kLoginAndCount);
        TWirePOP3 pop;
        StatusLog log;
        log.hook(pop);
        Prepare(pop, "pop3s://" + name + ":" + std::to_string(peer.port()));
        pop.Connect();
        EXPECT_TRUE(pop.Secure());
        EXPECT_EQ(pop.CheckMessages(), 2);
        pop.Disconnect();
        EXPECT_FALSE(pop.Secure());
        ASSERT_TRUE(peer.finish());
        EXPECT_TRUE(peer.handshakeDone());
        EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
        EXPECT_EQ(peer.received(), "User joe\r\nPass secret\r\nUIDL\r\nQuit\r\n");
        ASSERT_GE(log.lines.size(), 4u);
        EXPECT_EQ(log.lines[0], "Connecting to " + pop.Host);
        EXPECT_EQ(log.lines[1], "Socket Connected");
        EXPECT_EQ(log.lines[2].rfind("Secure connection: TLSv1.", 0), 0u) << log.lines[2];
        EXPECT_EQ(log.lines[3], "Connected");
    }
}

TEST(TlsConnect, StlsUpgradesBeforeTheLogin)
{
    TrustTestCertificates();
    TlsPeer peer(std::string("S: +OK plain hello\nC: STLS\nS: +OK begin\nTLS\n") + kLoginAndCount);
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    Prepare(pop, "pop3://localhost:" + std::to_string(peer.port()) + "?starttls");
    pop.Connect();
    EXPECT_TRUE(pop.Secure());
    EXPECT_EQ(pop.CheckMessages(), 2);
    pop.Disconnect();
    ASSERT_TRUE(peer.finish());
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    // Before the handshake only "STLS" went out in clear; the rest was encrypted.
    EXPECT_EQ(peer.received(), "STLS\r\nUser joe\r\nPass secret\r\nUIDL\r\nQuit\r\n");
    const auto secure = std::find_if(log.lines.begin(), log.lines.end(),
                                     [](const std::string& s) { return s.rfind("Secure connection: ", 0) == 0; });
    ASSERT_NE(secure, log.lines.end());
    EXPECT_EQ(*(secure - 1), "Connected");
    EXPECT_EQ(*(secure + 1), "  User Account is valid");
}

TEST(TlsConnect, NoStlsMeansNoLogin)
{
    // Refused outright.
    ScriptedPeer refused("S: +OK hi\nC: STLS\nS: -ERR unknown command\nC: Quit\n");
    TWirePOP3 pop;
    Prepare(pop, "pop3://127.0.0.1:" + std::to_string(refused.port()) + "?starttls");
    try {
        pop.Connect();
        ADD_FAILURE() << "logged in without TLS";
    } catch (const EWireTlsError& e) {
        EXPECT_EQ(std::string(e.what()), kNoStlsText);
    }
    EXPECT_FALSE(pop.Connected());
    ASSERT_TRUE(refused.finish());
    EXPECT_EQ(refused.received(), "STLS\r\nQuit\r\n");

    // Accepted, but with plain bytes slipped in behind the answer: they
    // would be taken as if they came through TLS, so nothing goes on.
    ScriptedPeer injected(std::vector<PeerStep>{{PeerStep::Send, "+OK hi\r\n"},
                                                {PeerStep::Expect, "STLS"},
                                                {PeerStep::Send, "+OK go\r\n+OK injected\r\n"},
                                                {PeerStep::Stall, "", 300}});
    Prepare(pop, "pop3://127.0.0.1:" + std::to_string(injected.port()) + "?starttls");
    EXPECT_EQ(ConnectError(pop), "Data arrived before the secure connection was set up.");
    EXPECT_FALSE(pop.Connected());
    injected.finish();
    const std::string sent = injected.received();
    EXPECT_EQ(sent.find("User"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("Pass"), std::string::npos) << sent;
}

TEST(TlsConnect, CertificateProblemsStopTheLogin)
{
    TrustTestCertificates();
    struct Case {
        TestCert cert;
        std::string address, host, message;
    };
    std::vector<Case> cases = {
        {TestCert::Untrusted, "127.0.0.1", "localhost", "TLS certificate problem: self-signed certificate"},
        {TestCert::Expired, "127.0.0.1", "localhost", "TLS certificate problem: certificate has expired"},
        {TestCert::OtherName, "127.0.0.1", "localhost",
         "TLS certificate problem: the certificate does not match host name localhost"},
    };
    if (TlsPeer::CanListenOn("127.0.0.2"))
        cases.push_back({TestCert::Trusted, "127.0.0.2", "127.0.0.2",
                         "TLS certificate problem: the certificate does not match host name 127.0.0.2"});
    else
        ADD_FAILURE() << "127.0.0.2 cannot be used here: the address check went untested";
    for (const Case& c : cases) {
        TlsPeer peer(std::string("TLS\nS: +OK hi\n") + kLoginAndCount, {c.address, c.cert});
        TWirePOP3 pop;
        Prepare(pop, "pop3s://" + c.host + ":" + std::to_string(peer.port()));
        try {
            pop.Connect();
            ADD_FAILURE() << "accepted " << c.message;
        } catch (const EWireTlsError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
        EXPECT_FALSE(pop.Connected());
        peer.finish();
        EXPECT_FALSE(peer.handshakeDone());
        EXPECT_EQ(peer.received(), ""); // not a byte of the login
    }
}

TEST(TlsConnect, APinnedCertificateIsTrustedAsItIsAndNothingElse)
{
    TrustTestCertificates();
    const std::string self = Sha256Fingerprint(TestCertificate(TestCert::Untrusted).cert);
    const std::string other = Sha256Fingerprint(TestCertificate(TestCert::Expired).cert);
    ASSERT_EQ(self.size(), 95u);
    struct Case {
        TestCert cert;
        std::string address, pin, message; // message "": logs in
        bool refused;                       // the error names the certificate presented
    };
    std::vector<Case> cases = {
        {TestCert::Untrusted, "127.0.0.1", self, "", false},
        {TestCert::Trusted, "127.0.0.1", other, "", false}, // another pin switches no check off
        {TestCert::Untrusted, "127.0.0.1", "", "TLS certificate problem: self-signed certificate", true},
        {TestCert::Untrusted, "127.0.0.1", other,
         "TLS certificate problem: the server's certificate has changed since you trusted it. "
         "Its SHA-256 fingerprint is now " + self, true},
        {TestCert::Expired, "127.0.0.1", self,
         "TLS certificate problem: the server's certificate has changed since you trusted it. "
         "Its SHA-256 fingerprint is now " + other, true},
    };
    if (TlsPeer::CanListenOn("127.0.0.2")) // the pin, not the name, is what is trusted
        cases.push_back({TestCert::Untrusted, "127.0.0.2", self, "", false});
    for (const Case& c : cases) {
        TlsPeer peer(std::string("TLS\nS: +OK hi\n") + kLoginAndCount, {c.address, c.cert});
        TWirePOP3 pop;
        Prepare(pop, "pop3s://" + c.address + ":" + std::to_string(peer.port()));
        std::string askedHost;
        int askedPort = 0;
        pop.TrustedCertificate = [&](const std::string& host, uint16_t port) {
            askedHost = host;
            askedPort = port;
            return c.pin;
        };
        RefusedCertificate refused;
        std::string error;
        try {
            pop.Connect();
            EXPECT_EQ(pop.CheckMessages(), 2) << c.address;
            pop.Disconnect();
        } catch (const EWireTlsError& e) {
            error = e.what();
            refused = e.Refused;
        }
        EXPECT_EQ(error, c.message);
        EXPECT_EQ(askedHost, c.address);
        EXPECT_EQ(askedPort, peer.port());
        if (c.refused) {
            EXPECT_EQ(refused.fingerprint, Sha256Fingerprint(TestCertificate(c.cert).cert)) << c.message;
            EXPECT_EQ(refused.host, c.address);
            EXPECT_EQ(refused.port, peer.port());
            EXPECT_EQ(refused.changed, !c.pin.empty());
            EXPECT_EQ(peer.received(), ""); // not a byte of the login
        } else {
            EXPECT_EQ(refused.fingerprint, "");
        }
        peer.finish();
    }
}

TEST(TlsConnect, OutdatedProtocolIsRefused)
{
    TrustTestCertificates();
    TlsPeerOptions old;
    old.maxVersion = TLS1_1_VERSION;
    TlsPeer peer(std::string("TLS\nS: +OK hi\n") + kLoginAndCount, old);
    TWirePOP3 pop;
    Prepare(pop, "pop3s://localhost:" + std::to_string(peer.port()));
    const std::string error = ConnectError(pop);
    EXPECT_EQ(error.rfind("TLS handshake failed: ", 0), 0u) << error;
    EXPECT_FALSE(pop.Connected());
    peer.finish();
    EXPECT_FALSE(peer.handshakeDone());
}

TEST(TlsConnect, BrokenPeersEndInAClearErrorWithinTheTimeout)
{
    TrustTestCertificates();
    struct Case {
        std::string script, what;
    };
    const std::vector<Case> cases = {
        {"S: +OK a plain greeting where a handshake belongs\nSTALL 3000\n", "garbage"},
        {"TAKE\nCLOSE\n", "close before answering"},
        {"TAKE\nRAW 160303004a0200004603\nCLOSE\n", "close inside a record"},
    };
    for (const Case& c : cases) {
        TlsPeer peer(c.script);
        TWirePOP3 pop;
        Prepare(pop, "pop3s://127.0.0.1:" + std::to_string(peer.port()));
        pop.Timeout = 2000;
        const auto start = std::chrono::steady_clock::now();
        const std::string error = ConnectError(pop);
        EXPECT_LT(MsSince(start), 1500) << c.what;
        EXPECT_EQ(error.rfind("TLS handshake failed: ", 0), 0u) << c.what << ": " << error;
        EXPECT_FALSE(pop.Connected()) << c.what;
        if (c.what == "garbage") { // a plain server where TLS was asked for
            EXPECT_EQ(error, "TLS handshake failed: the server did not answer in TLS: is this the right port?");
        }
        if (c.script.rfind("TAKE\nCLOSE", 0) == 0) { // it read the ClientHello: a clean close
            EXPECT_EQ(error, "TLS handshake failed: the server closed the connection.") << c.what;
        }
        peer.finish(500);
    }

    // A peer that says nothing: the time-out, with the idle hook running.
    ScriptedPeer quiet("STALL 3000\n");
    TWirePOP3 pop;
    Prepare(pop, "pop3s://127.0.0.1:" + std::to_string(quiet.port()));
    pop.Timeout = 300;
    int idles = 0;
    pop.OnIdle = [&idles] { ++idles; };
    const auto start = std::chrono::steady_clock::now();
    try {
        pop.Connect();
        ADD_FAILURE() << "no time-out";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10060);
        EXPECT_EQ(std::string(e.what()), "TLS handshake failed: Socket Error #10060\r\nConnection timed out.");
    }
    const long long ms = MsSince(start);
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 2000);
    EXPECT_GE(idles, 4);
    EXPECT_FALSE(pop.Connected());
    quiet.finish(100);
}

TEST(TlsConnect, APeerGoneAfterTheHandshakeIsAClosedConnection)
{
    TrustTestCertificates();
    TlsPeer peer("TLS\nS: +OK hi\nC: User joe\nCLOSE\n");
    TWirePOP3 pop;
    Prepare(pop, "pop3s://localhost:" + std::to_string(peer.port()));
    try {
        pop.Connect();
        ADD_FAILURE() << "logged in";
    } catch (const EWireConnClosedGraceful& e) {
        EXPECT_EQ(std::string(e.what()), "Connection Closed Gracefully.");
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10054); // a reset may overtake the close
    }
    EXPECT_FALSE(pop.Connected());
    EXPECT_TRUE(peer.finish());
}
