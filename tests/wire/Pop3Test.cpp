#include "ScriptedPeer.h"
#include "WireTestUtil.h"
#include "mime/Coders.h"
#include "wire/Pop3.h"
#include "wire/TlsTransport.h"
#include "mime/TempFiles.h"
#include "wire/WireErrors.h"

#include <fstream>
#include <gtest/gtest.h>

using namespace pelko;
using namespace pelko::test;

namespace {

// Records what is sent into a string that outlives the transport; with
// gone set, every send fails with 10058 (the peer has reset the connection).
class RecordingTransport : public MemoryTransport {
public:
    RecordingTransport(std::string& sent, bool gone) : MemoryTransport(""), sent_(sent), gone_(gone) {}
    IoResult send(const char* data, size_t length) override
    {
        if (gone_) {
            sent_ += "<failed>";
            return IoResult::failed(10058);
        }
        sent_.append(data, length);
        return IoResult::done(length);
    }

private:
    std::string& sent_;
    bool gone_;
};

} // namespace

TEST(Pop3, QuitOnDisconnectAndOnDestruction)
{
    std::string sent;
    {
        TWirePOP3 pop;
        EXPECT_EQ(pop.Port, 110);
        StatusLog log;
        log.hook(pop);
        pop.AttachTransport(std::make_unique<RecordingTransport>(sent, false));
        pop.Disconnect();
        EXPECT_EQ(sent, "Quit\r\n"); // the reply is not waited for
        EXPECT_FALSE(pop.Connected());
        EXPECT_EQ(log.lines, (TStrings{"Disconnecting", "Disconnected"}));

        // Without a socket: the statuses, then the write error.
        log.lines.clear();
        try {
            pop.Disconnect();
            ADD_FAILURE() << "no exception";
        } catch (const EWireClosedSocket& e) {
            EXPECT_EQ(std::string(e.what()), "Socket is closed, cannot write");
        }
        EXPECT_EQ(log.lines, (TStrings{"Disconnecting", "Disconnected"}));
    }

    // A connected component going away says "Quit" first, without events.
    sent.clear();
    int statuses = 0;
    {
        TWirePOP3 pop;
        pop.AttachTransport(std::make_unique<RecordingTransport>(sent, false));
        pop.OnStatus = [&](TWire*, const std::string&) { ++statuses; };
    }
    EXPECT_EQ(sent, "Quit\r\n");
    EXPECT_EQ(statuses, 0);
}

TEST(Pop3, DisconnectWhenThePeerIsGoneClosesOnce)
{
    std::string sent;
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    pop.AttachTransport(std::make_unique<RecordingTransport>(sent, true));
    try {
        pop.Disconnect();
        ADD_FAILURE() << "no exception";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10058);
    }
    EXPECT_FALSE(pop.Connected());
    EXPECT_EQ(sent, "<failed>"); // one attempt, no second "Quit" from the nested close
    EXPECT_EQ(log.lines, (TStrings{"Disconnecting", "Disconnected"}));
}

TEST(Pop3, CheckErrorTellsACompleteCountFromAShortOne)
{
    TWirePOP3 pop;
    AttachMemory(pop, Crlf("+OK\n1 a\n2 b\n.\n+OK\n1 a\n"));
    EXPECT_EQ(pop.CheckMessages(), 2);
    EXPECT_EQ(pop.CheckError, "");
    EXPECT_EQ(pop.CheckMessages(), 1);
    EXPECT_EQ(pop.CheckError, "Connection Closed Gracefully.");

    // STAT refused as well: 0, and the reason is kept.
    TWirePOP3 old;
    StatusLog log;
    log.hook(old);
    AttachMemory(old, Crlf("-ERR no UIDL\n-ERR no STAT either\n"));
    EXPECT_EQ(old.CheckMessages(), 0);
    EXPECT_EQ(old.CheckError, "-ERR no STAT either");
    EXPECT_EQ(log.lines, (TStrings{"-ERR no UIDL", "-ERR no STAT either"}));
}

TEST(MessageClient, SendBodyWritesTextAndAttachments)
{
    TWirePOP3 c;
    MemoryTransport* t = AttachMemory(c, "");
    TWireMessage m;
    m.Text = {".starts with a dot", "plain"};
    c.SendBody(m);
    EXPECT_EQ(t->written(), "..starts with a dot\r\nplain\r\n");

    const std::string path = MakeTempFileName();
    ASSERT_FALSE(path.empty());
    std::ofstream(path, std::ios::binary) << "Man";
    m.Attachments.emplace_back();
    m.Attachments[0].FileName = "m.txt";
    m.Attachments[0].StoredPathName = path;
    TWirePOP3 d;
    MemoryTransport* u = AttachMemory(d, "");
    d.SendBody(m);
    EXPECT_EQ(u->written(), Crlf("This is a multi-part message in MIME format.\n"
                                 "\n"
                                 "--=_NextPart_2rfksadvnqw3nerasdf\n"
                                 "Content-Type: text/plain\n"
                                 "Content-Transfer-Encoding: 7bit\n"
                                 "\n"
                                 "..starts with a dot\n"
                                 "plain\n"
                                 "\n"
                                 "--=_NextPart_2rfksadvnqw3nerasdf\n"
                                 "Content-Type: application/octet-stream;\n"
                                 "        name=\"m.txt\"\n"
                                 "Content-Transfer-Encoding: base64\n"
                                 "Content-Disposition: attachment;\n"
                                 "        filename=\"m.txt\"\n"
                                 "\n"
                                 "TWFu\n"
                                 "\n"
                                 "--=_NextPart_2rfksadvnqw3nerasdf--\n"));
}

TEST(Pop3, OAuthBearerSendsUserHostPortAndTokenAndEndsAnErrorChallenge)
{
    // The initial response names the peer's port: checked from what arrived.
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "refused" : "accepted");
        ScriptedPeer peer(refused ? "S: +OK ready\nC*\nS: + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\nC*\nS: -ERR no\nC: Quit\n"
                                  : "S: +OK ready\nC*\nS: +OK in\n");
        TWirePOP3 pop;
        pop.Host = "127.0.0.1:" + std::to_string(peer.port());
        pop.UserID = "joe,x=y";
        pop.Password = "tok";
        pop.Mechanism = Pop3Login::OAuthBearer;
        pop.Secret = SecretKind::Token;
        pop.Timeout = 5000;
        std::string error;
        try {
            pop.Connect();
        } catch (const EWireResponseError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, refused ? "-ERR no\r{\"status\":\"invalid_token\"}" : "");
        pop.CloseSocket();
        peer.finish(2000);
        const std::string initial = "AUTH OAUTHBEARER " +
                                    EncodeLine("n,a=joe=2Cx=3Dy,\x01host=127.0.0.1\x01port=" +
                                               std::to_string(peer.port()) + "\x01" "auth=Bearer tok\x01\x01") +
                                    "\r\n";
        EXPECT_EQ(peer.received(), refused ? initial + "AQ==\r\nQuit\r\n" : initial);
        EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    }
}

TEST(Pop3, SaslResponseTooLongForTheCommandLineFollowsAnEmptyChallenge)
{
    // "AUTH XOAUTH2 response" CR LF may take 255 octets: a token of 157
    // characters just fits, one of 158 waits for the server's empty "+ ".
    const auto bearer = [](size_t n) {
        return EncodeLine("user=joe\x01" "auth=Bearer " + std::string(n, 't') + "\x01\x01");
    };
    const std::string longBearer = bearer(1800);
    const std::string plain = EncodeLine(std::string(1, '\0') + "joe" + std::string(1, '\0') + std::string(1800, 'p'));
    const std::string greeting = "S: +OK ready\nC*\n";
    const struct {
        Pop3Login mech;
        size_t secretLength;
        std::string server; // after the greeting and the first client line
        std::string client;
        std::string error;
    } rows[] = {
        {Pop3Login::XOAuth2, 157, "S: +OK in\n", "AUTH XOAUTH2 " + bearer(157) + "\r\n", ""},
        {Pop3Login::XOAuth2, 158, "S: + \nC*\nS: +OK in\n", "AUTH XOAUTH2\r\n" + bearer(158) + "\r\n", ""},
        {Pop3Login::Plain, 1800, "S: +\nC*\nS: +OK in\n", "AUTH PLAIN\r\n" + plain + "\r\n", ""},
        {Pop3Login::XOAuth2, 1800, "S: -ERR no such mechanism\nC: Quit\n", "AUTH XOAUTH2\r\nQuit\r\n",
         "-ERR no such mechanism"},
        // The server's error details after the response: ended as XOAUTH2 says.
        {Pop3Login::XOAuth2, 1800,
         "S: + \nC*\nS: + " + EncodeLine("{\"status\":\"401\"}") + "\nC*\nS: -ERR expired\nC: Quit\n",
         "AUTH XOAUTH2\r\n" + longBearer + "\r\n\r\nQuit\r\n", "-ERR expired\r{\"status\":\"401\"}"},
        // A challenge with data where the mechanism expects none: called off.
        {Pop3Login::XOAuth2, 1800, "S: + abcd\nC*\nS: -ERR cancelled\nC: Quit\n", "AUTH XOAUTH2\r\n*\r\nQuit\r\n",
         "-ERR cancelled"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(&row - rows));
        ScriptedPeer peer(greeting + row.server);
        TWirePOP3 pop;
        pop.Host = "127.0.0.1:" + std::to_string(peer.port());
        pop.Mechanism = row.mech;
        pop.UserID = "joe";
        const bool token = row.mech != Pop3Login::Plain;
        pop.Secret = token ? SecretKind::Token : SecretKind::Password;
        pop.Password = std::string(row.secretLength, token ? 't' : 'p');
        pop.Timeout = 5000;
        std::string error;
        try {
            pop.Connect();
        } catch (const EWireResponseError& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.error);
        pop.CloseSocket();
        peer.finish(2000);
        EXPECT_EQ(peer.received(), row.client);
        EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    }
}

TEST(Pop3, TokenGoesOverTlsOrToThisMachineOnly)
{
    const struct {
        const char* host;
        Pop3Login mech;
        SecretKind secret;
        bool refused;
    } rows[] = {
        {"pop.example.com", Pop3Login::Automatic, SecretKind::Token, true},
        {"pop.example.com:110", Pop3Login::XOAuth2, SecretKind::Password, true},
        {"pop3://pop.example.com", Pop3Login::OAuthBearer, SecretKind::Token, true},
        {"10.0.0.1", Pop3Login::Plain, SecretKind::Token, true},
        {"localhost", Pop3Login::Automatic, SecretKind::Token, true}, // a name may lead anywhere
        {"pop.example.com", Pop3Login::Automatic, SecretKind::Password, false},
        {"pop.example.com", Pop3Login::Plain, SecretKind::Password, false},
        {"pop3s://pop.example.com", Pop3Login::XOAuth2, SecretKind::Token, false},
        {"pop3://pop.example.com?starttls", Pop3Login::OAuthBearer, SecretKind::Token, false},
        {"127.0.0.1:1110", Pop3Login::Automatic, SecretKind::Token, false},
        {"[::1]:1110", Pop3Login::XOAuth2, SecretKind::Token, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        TWirePOP3 pop;
        pop.Host = row.host;
        pop.Mechanism = row.mech;
        pop.Secret = row.secret;
        bool socketMade = false;
        // Goes no further than making the socket.
        pop.TransportFactory = [&](const HostSpec&) -> std::unique_ptr<Transport> {
            socketMade = true;
            return nullptr;
        };
        try {
            pop.Connect();
            ADD_FAILURE() << "connected";
        } catch (const EWireTlsError& e) {
            EXPECT_TRUE(row.refused);
            EXPECT_EQ(std::string(e.what()), kTokenNeedsTlsText);
        } catch (const EWireInvalidSocket&) {
            EXPECT_FALSE(row.refused);
        }
        EXPECT_EQ(socketMade, !row.refused);
    }
}
