#include "FullQueue.h"
#include "ScriptedPeer.h"
#include "WireTestUtil.h"
#include "wire/Pop3ReplyReader.h"
#include "wire/WireClient.h"
#include "wire/WireErrors.h"

#include <arpa/inet.h>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <unistd.h>

using namespace pelko;
using namespace pelko::test;

TEST(Connect, LocalhostAndDottedAddressesNeedNoLookup)
{
    for (const std::string name : {"localhost", "LocalHost", "LOCALHOST", "127.0.0.1"}) {
        ScriptedPeer peer("S: hello\nC: bye\n");
        TWireClient c;
        StatusLog log;
        log.hook(c);
        c.Host = name + ":" + std::to_string(peer.port());
        c.Connect();
        EXPECT_TRUE(c.Connected());
        EXPECT_EQ(c.HostAddress, "127.0.0.1") << name;
        EXPECT_EQ(c.ReadLine(), "hello");
        c.WriteLine("bye");
        c.Disconnect();
        EXPECT_TRUE(peer.finish());
        EXPECT_TRUE(peer.mismatches().empty());
        EXPECT_EQ(log.lines, (TStrings{"Connecting to " + c.Host, "Socket Connected", "Disconnecting", "Disconnected"}));
        EXPECT_EQ(c.HostAddress, "");
    }
}

TEST(Connect, PortUsesItsLowSixteenBits)
{
    ScriptedPeer peer("S: +OK\n");
    TWireClient c;
    c.Host = "127.0.0.1";
    c.Port = peer.port() + 65536;
    c.UseNagle = false;
    c.Connect();
    EXPECT_EQ(c.ReadLine(), "+OK");
    EXPECT_THROW(c.Connect(), EWireAlreadyConnected);
    EXPECT_TRUE(c.Connected());
    c.Disconnect();
    EXPECT_TRUE(peer.finish());
}

TEST(Connect, RefusedAndUnknownHostsLeaveTheClientIdle)
{
    TWireClient c;
    StatusLog log;
    log.hook(c);
    c.Host = "127.0.0.1:" + std::to_string(ClosedPort());
    try {
        c.Connect();
        ADD_FAILURE() << "connected to a closed port";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10061);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10061\r\nConnection refused.");
    }
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(log.lines, (TStrings{"Connecting to " + c.Host, "Disconnecting", "Disconnected"}));

    c.Host = "no-such-host.invalid";
    try {
        c.Connect();
        ADD_FAILURE() << "resolved an invalid name";
    } catch (const EWireSocketError& e) {
        EXPECT_GE(e.Code, 11001);
        EXPECT_LE(e.Code, 11004);
    }
    EXPECT_FALSE(c.Connected());
}

TEST(Connect, StalledServerTimesOutWhileTheIdleHookRuns)
{
    ScriptedPeer peer("S: partial\nSTALL 3000\n");
    TWireClient c;
    c.Host = "127.0.0.1:" + std::to_string(peer.port());
    c.Timeout = 250;
    int idles = 0;
    c.OnIdle = [&] { ++idles; };
    c.Connect();
    EXPECT_EQ(c.ReadLine(), "partial");
    const auto start = std::chrono::steady_clock::now();
    try {
        c.ReadLine();
        ADD_FAILURE() << "no time-out";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10060);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10060\r\nConnection timed out.");
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 240);
    EXPECT_LT(ms, 2000);
    EXPECT_GE(idles, 4); // slices of about 30 ms
    EXPECT_TRUE(c.Connected()); // like any other socket error
    c.Disconnect();
}

TEST(Connect, ProtocolLogRecordsCommandsAndResponses)
{
    char path[] = "/tmp/pelko-log-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ScriptedPeer peer("S: +OK hi\nC: STAT\nS: +OK 2 10\n");
    TWireClient c;
    c.SetReplyReader(std::make_unique<Pop3ReplyReader>());
    c.Host = "127.0.0.1:" + std::to_string(peer.port());
    c.LogFile = path;
    c.Connect();
    c.ReadResponse();
    c.SendCommand("STAT", 1, 0, "");
    c.Disconnect();
    EXPECT_TRUE(peer.finish());
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str(), "I: +OK hi\r\n\r\nO: STAT\r\nI: +OK 2 10\r\n\r\n");
    ::unlink(path);
}

TEST(Connect, ConnectGivesUpAfterTheTimeout)
{
    FullQueue queue;
    ASSERT_TRUE(queue.ok());

    TWireClient c;
    StatusLog log;
    log.hook(c);
    c.Host = queue.address();
    c.Timeout = 300;
    int idles = 0;
    c.OnIdle = [&] { ++idles; };
    const auto start = std::chrono::steady_clock::now();
    try {
        c.Connect();
        ADD_FAILURE() << "connected to a full queue";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10060);
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(ms, 290);
    EXPECT_LT(ms, 3000);
    EXPECT_GE(idles, 5);
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(log.lines, (TStrings{"Connecting to " + c.Host, "Disconnecting", "Disconnected"}));
}

TEST(Connect, AReadFromTheIdleHookDoesNotCorruptTheWaitingRead)
{
    // The GUI pumps events while a read waits; an event may read on the same
    // component. The waiting read must then append after what is left.
    ScriptedPeer direct(std::vector<PeerStep>{{PeerStep::Stall, "", 100},
                                              {PeerStep::Send, "one\r\ntw"},
                                              {PeerStep::Stall, "", 200},
                                              {PeerStep::Send, "o\r\n"}});
    TWireClient c;
    c.Host = "127.0.0.1:" + std::to_string(direct.port());
    c.Timeout = 3000;
    std::string nested;
    bool inHook = false;
    c.OnIdle = [&] {
        if (inHook || !nested.empty())
            return;
        inHook = true;
        nested = c.ReadLine();
        inHook = false;
    };
    c.Connect();
    EXPECT_EQ(c.ReadLine(), "two");
    EXPECT_EQ(nested, "one");
    c.OnIdle = nullptr;
    c.Disconnect();

    // A hook that closes the connection ends the wait with a socket error.
    ScriptedPeer quiet("STALL 2000\n");
    TWireClient d;
    d.Host = "127.0.0.1:" + std::to_string(quiet.port());
    d.Connect();
    d.OnIdle = [&] { d.Disconnect(); };
    EXPECT_THROW(d.ReadLine(), EWireSocketError);
    EXPECT_FALSE(d.Connected());
}
