// Reaching the server by the forms of the host text: IPv6 literals, several
// addresses tried in turn, and the bare host that must stay byte for byte
// the plain dialogue.
#include "ScriptedPeer.h"
#include "TlsPeer.h"
#include "WireTestUtil.h"
#include "wire/HostResolve.h"
#include "wire/Pop3.h"
#include "wire/WireErrors.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace pelko;
using namespace pelko::test;

namespace {

ResolvedAddress Address(int family, const char* text, int port)
{
    ResolvedAddress a;
    std::memset(&a.address, 0, sizeof a.address);
    if (family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&a.address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET6, text, &in6->sin6_addr);
        a.length = sizeof(sockaddr_in6);
    } else {
        auto* in = reinterpret_cast<sockaddr_in*>(&a.address);
        in->sin_family = AF_INET;
        in->sin_port = htons(static_cast<uint16_t>(port));
        ::inet_pton(AF_INET, text, &in->sin_addr);
        a.length = sizeof(sockaddr_in);
    }
    a.text = text;
    return a;
}


} // namespace

TEST(HostSpecConnect, BareHostSendsExactlyThePlainDialogue)
{
    ScriptedPeer peer("S: +OK hi\nC: User joe\nS: +OK\nC: Pass secret\nS: +OK\nC: UIDL\nS: +OK\nS: 1 a\nS: .\n"
                      "C: Quit\n");
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    pop.Host = "127.0.0.1";
    pop.Port = peer.port();
    pop.UserID = "joe";
    pop.Password = "secret";
    pop.Connect();
    EXPECT_FALSE(pop.Secure());
    EXPECT_EQ(pop.CheckMessages(), 1);
    pop.Disconnect();
    ASSERT_TRUE(peer.finish());
    EXPECT_TRUE(peer.mismatches().empty());
    EXPECT_EQ(peer.received(), "User joe\r\nPass secret\r\nUIDL\r\nQuit\r\n");
    EXPECT_EQ(log.lines, (TStrings{"Connecting to 127.0.0.1", "Socket Connected", "Connected", "  User Account is valid",
                                   "  Password is valid", "Checking for messages", "Disconnecting", "Disconnected"}));
}

TEST(HostSpecConnect, BracketedIPv6Literal)
{
    if (!TlsPeer::CanListenOn("::1"))
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    TlsPeer peer("S: +OK six\nC: User u\nS: +OK\nC: Pass p\nS: +OK\nC: Quit\n", {"::1"});
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    pop.Host = "[::1]:" + std::to_string(peer.port());
    pop.UserID = "u";
    pop.Password = "p";
    pop.Timeout = 5000;
    pop.Connect();
    EXPECT_EQ(pop.HostAddress, "::1");
    EXPECT_EQ(pop.ResultText, "+OK");
    pop.Disconnect();
    ASSERT_TRUE(peer.finish());
    EXPECT_TRUE(peer.mismatches().empty());
    EXPECT_EQ(log.lines.front(), "Connecting to [::1]:" + std::to_string(peer.port())); // as written

    // The same literal inside the URL form, over TLS: the certificate names ::1.
    TrustTestCertificates();
    TlsPeer secure("TLS\nS: +OK six\nC: User u\nS: +OK\nC: Pass p\nS: +OK\nC: Quit\n", {"::1"});
    pop.Host = "pop3s://[::1]:" + std::to_string(secure.port());
    pop.Connect();
    EXPECT_TRUE(pop.Secure());
    EXPECT_EQ(pop.HostAddress, "::1");
    pop.Disconnect();
    ASSERT_TRUE(secure.finish());
    EXPECT_TRUE(secure.mismatches().empty());

    // The address lookup on its own.
    const std::vector<ResolvedAddress> six = ResolveAddresses("::1", 110);
    ASSERT_EQ(six.size(), 1u);
    EXPECT_EQ(six[0].address.ss_family, AF_INET6);
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in6*>(&six[0].address)->sin6_port), 110);
    EXPECT_EQ(six[0].text, "::1");
}

TEST(HostSpecConnect, EachAddressIsTriedInTurn)
{
    ScriptedPeer peer("S: hello\n");
    TWireClient c;
    c.Timeout = 3000;
    std::vector<std::pair<std::string, int>> asked;
    const int closed = ClosedPort();
    c.Resolver = [&](const std::string& host, uint16_t port) {
        asked.emplace_back(host, port);
        std::vector<ResolvedAddress> out;
        if (TlsPeer::CanListenOn("::1"))
            out.push_back(Address(AF_INET6, "::1", closed)); // another family first
        out.push_back(Address(AF_INET, "127.0.0.1", closed));
        out.push_back(Address(AF_INET, "127.0.0.1", peer.port()));
        return out;
    };
    c.Host = "mail.example.org:2110";
    c.UseNagle = false; // kept on the fresh socket of each attempt
    c.Connect();
    EXPECT_EQ(asked, (std::vector<std::pair<std::string, int>>{{"mail.example.org", 2110}}));
    EXPECT_EQ(c.HostAddress, "127.0.0.1");
    EXPECT_EQ(c.ReadLine(), "hello");
    c.Disconnect();
    EXPECT_TRUE(peer.finish());

    // All refused: the last attempt's error, and the client is idle.
    c.Resolver = [&](const std::string&, uint16_t) {
        return std::vector<ResolvedAddress>{Address(AF_INET, "127.0.0.1", closed), Address(AF_INET, "127.0.0.1", closed)};
    };
    try {
        c.Connect();
        ADD_FAILURE() << "connected to closed ports";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10061);
    }
    EXPECT_FALSE(c.Connected());

    // The specified special cases still need no lookup.
    const std::vector<ResolvedAddress> local = ResolveAddresses("LocalHost", 110);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_EQ(local[0].text, "127.0.0.1");
    EXPECT_EQ(ResolveAddresses("10.1.2.3", 110).at(0).text, "10.1.2.3");
}

TEST(HostSpecConnect, SlowLookupKeepsTheIdleEventAndTimesOut)
{
    // A name server that answers only when the test lets it.
    struct Gate {
        std::mutex lock;
        std::condition_variable open;
        bool released = false;
    };
    auto gate = std::make_shared<Gate>();
    ScriptedPeer peer("S: hello\n");
    TWireClient c;
    c.Timeout = 300;
    const int port = peer.port();
    c.Resolver = [gate, port](const std::string&, uint16_t) {
        std::unique_lock<std::mutex> hold(gate->lock);
        gate->open.wait(hold, [&] { return gate->released; });
        return std::vector<ResolvedAddress>{Address(AF_INET, "127.0.0.1", port)};
    };
    int idles = 0;
    c.OnIdle = [&] { ++idles; };
    c.Host = "slow.example.org";
    const auto start = std::chrono::steady_clock::now();
    try {
        c.Connect();
        ADD_FAILURE() << "connected without an answer from the name server";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10060);
        EXPECT_NE(std::string(e.what()).find("Connection timed out."), std::string::npos);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_GT(idles, 0);
    EXPECT_FALSE(c.Connected());

    // Once the name server answers, the next connect goes through.
    {
        std::lock_guard<std::mutex> hold(gate->lock);
        gate->released = true;
    }
    gate->open.notify_all();
    c.Connect();
    EXPECT_EQ(c.ReadLine(), "hello");
    c.Disconnect();
    EXPECT_TRUE(peer.finish());

    // The idle event can stop the wait; a failed lookup keeps its own error.
    c.Resolver = [](const std::string&, uint16_t) -> std::vector<ResolvedAddress> {
        throw EWireSocketError(11001);
    };
    try {
        c.Connect();
        ADD_FAILURE() << "a failed lookup connected";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 11001);
    }
    c.Resolver = [](const std::string&, uint16_t) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return std::vector<ResolvedAddress>{};
    };
    c.Timeout = 0; // no time-out: only the idle event ends the wait
    c.OnIdle = [] { throw std::runtime_error("user gave up"); };
    EXPECT_THROW(c.Connect(), std::runtime_error);
    EXPECT_FALSE(c.Connected());
}
