#include "wire/HostSpec.h"
#include "wire/SocketErrors.h"
#include "wire/WireErrors.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <netdb.h>

using namespace pelko;

TEST(SocketErrors, MessagesFollowTheTableLayout)
{
    EXPECT_EQ(SocketErrorText(10061), "Socket Error #10061\r\nConnection refused.");
    EXPECT_EQ(SocketErrorText(10035), "Socket Error #10035\r\nOperation would block. ");
    EXPECT_EQ(SocketErrorText(10066), "Socket Error #10066\r\nDirectory not empty");
    EXPECT_EQ(SocketErrorText(11001), "Socket Error #11001\r\nHost not found.");
    EXPECT_EQ(SocketErrorText(10058), "Socket Error #10058\r\nCannot send or receive after socket is closed.");
    // Outside the table: the number and the line break, nothing else.
    EXPECT_EQ(SocketErrorText(12345), "Socket Error #12345\r\n");
    EXPECT_EQ(EWireSocketError(10060).what(), std::string("Socket Error #10060\r\nConnection timed out."));
    EXPECT_EQ(EWireSocketError(10060).Code, 10060);
}

TEST(SocketErrors, NativeErrorsMapOntoTableNumbers)
{
    EXPECT_EQ(WsaCodeFromErrno(ECONNREFUSED), 10061);
    EXPECT_EQ(WsaCodeFromErrno(EPIPE), 10058); // both mean "after the socket is closed"
    EXPECT_EQ(WsaCodeFromErrno(ESHUTDOWN), 10058);
    EXPECT_EQ(WsaCodeFromLookup(EAI_NONAME, 0), 11001);
    EXPECT_EQ(WsaCodeFromLookup(EAI_SYSTEM, ECONNREFUSED), 10061);
}

TEST(SocketErrors, CheckSocketResultRaisesUnlessIgnored)
{
    EXPECT_FALSE(CheckSocketResult(0, {0}));
    EXPECT_FALSE(CheckSocketResult(17, {0}));
    SetLastSocketError(10058);
    EXPECT_TRUE(CheckSocketResult(-1, {10058}));
    SetLastSocketError(10054);
    try {
        CheckSocketResult(-1, {10058});
        ADD_FAILURE() << "no exception";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10054);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10054\r\nConnection reset by peer.");
    }
}

TEST(HostSpec, PortAfterTheLastColon)
{
    HostSpec a = ParseHostSpec("mail.example.org:1110");
    EXPECT_EQ(a.host, "mail.example.org");
    EXPECT_TRUE(a.hasPort);
    EXPECT_EQ(a.port, 1110);

    HostSpec b = ParseHostSpec("mail.example.org");
    EXPECT_EQ(b.host, "mail.example.org");
    EXPECT_FALSE(b.hasPort);

    // Not a port: the whole text stays the host (its lookup will fail).
    for (const char* text : {"host:", "host:abc", "host:0", "host:65536", "host:123456", "::1", "fe80::1:110"}) {
        HostSpec s = ParseHostSpec(text);
        EXPECT_FALSE(s.hasPort) << text;
        EXPECT_EQ(s.host, text);
    }
    EXPECT_EQ(ParseHostSpec("127.0.0.1:65535").port, 65535);
}
