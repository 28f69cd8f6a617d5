// Against the test run's dovecot (users 1 to 10 belong to these tests).
#include "Dovecot.h"
#include "WireTestUtil.h"
#include "wire/Pop3.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace pelko;
using namespace pelko::test;

namespace {

#define NEED_DOVECOT()                                                                    \
    if (!DovecotAvailable())                                                             \
    GTEST_SKIP() << "no test dovecot (PELKO_DOVECOT_DIR unset or server not started)"

void Login(TWirePOP3& pop, int user)
{
    pop.Host = "127.0.0.1:" + std::to_string(DovecotPort());
    pop.UserID = DovecotUser(user);
    pop.Password = DovecotPassword(user);
    pop.Timeout = 10000;
    pop.Connect();
}

std::string Message(const std::string& subject, const std::string& body)
{
    return Crlf("From: Tester <tester@example.org>\nTo: someone@example.org\nSubject: " + subject +
                "\nDate: Tue, 5 Jan 1999 10:00:00 +0100\n\n" + body);
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(Dovecot, LoginCountAndQuit)
{
    NEED_DOVECOT();
    DovecotClearMailbox(1);
    TWirePOP3 pop;
    StatusLog log;
    log.hook(pop);
    Login(pop, 1);
    EXPECT_EQ(pop.CheckMessages(), 0);
    pop.Disconnect();

    for (int i = 0; i < 3; ++i)
        DovecotAddMessage(1, Message("n" + std::to_string(i), "body\n"));
    Login(pop, 1); // new mail shows at the next login
    EXPECT_EQ(pop.CheckMessages(), 3);
    pop.Disconnect();
    EXPECT_FALSE(pop.Connected());
    EXPECT_EQ(log.lines.at(2), "Connected");
    EXPECT_EQ(log.lines.at(3), "  User Account is valid");
    EXPECT_EQ(log.lines.at(4), "  Password is valid");

    // The same mailbox through SASL PLAIN; a wrong password is refused there too.
    pop.Mechanism = Pop3Login::Plain;
    Login(pop, 1);
    EXPECT_EQ(pop.CheckMessages(), 3);
    pop.Disconnect();
    EXPECT_NE(std::find(log.lines.begin(), log.lines.end(), "  Signed in (PLAIN)"), log.lines.end());
    pop.Password = "wrong";
    EXPECT_THROW(pop.Connect(), EWireResponseError);
    EXPECT_FALSE(pop.Connected());
}

TEST(Dovecot, RetrieveWholeMessageAndHeaders)
{
    NEED_DOVECOT();
    DovecotClearMailbox(2);
    std::string payload;
    for (int i = 0; i < 3000; ++i)
        payload += static_cast<char>(i % 251);
    std::string flat;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < payload.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(payload[i]) << 16) |
                           (static_cast<unsigned char>(payload[i + 1]) << 8) |
                           static_cast<unsigned char>(payload[i + 2]);
        for (int k = 18; k >= 0; k -= 6)
            flat += alphabet[(v >> k) & 63];
    }
    std::string b64;
    for (size_t i = 0; i < flat.size(); i += 76)
        b64 += flat.substr(i, 76) + "\n";
    DovecotAddMessage(2, Crlf("From: Tester <tester@example.org>\nSubject: with file\n"
                              "Content-Type: multipart/mixed; boundary=\"sep\"\n\n"
                              "--sep\nContent-Type: text/plain\n\nfirst line\n.hidden dot\n..two dots\n"
                              "--sep\nContent-Type: application/octet-stream\n"
                              "Content-Transfer-Encoding: base64\n"
                              "Content-Disposition: attachment; filename=\"data.bin\"\n\n" +
                              b64 + "--sep--\n"));
    TWirePOP3 pop;
    Login(pop, 2);
    ASSERT_EQ(pop.CheckMessages(), 1);
    TWireMessage m;
    ASSERT_TRUE(pop.RetrieveMessage(1, m));
    EXPECT_EQ(m.From(), "Tester <tester@example.org>");
    EXPECT_EQ(m.Subject(), "with file");
    // The server doubles leading dots; the text shows them as sent.
    EXPECT_EQ(m.Text, (TStrings{"first line", ".hidden dot", "..two dots"}));
    ASSERT_EQ(m.Attachments.size(), 1u);
    EXPECT_EQ(m.Attachments[0].FileName, "data.bin");
    EXPECT_EQ(FileBytes(m.Attachments[0].StoredPathName), payload);

    TWireMessage h;
    EXPECT_TRUE(pop.RetrieveHeaders(1, h));
    EXPECT_EQ(h.Subject(), "with file");
    EXPECT_TRUE(h.Text.empty());

    EXPECT_FALSE(pop.RetrieveMessage(9, m)); // refused: false, message untouched
    EXPECT_EQ(m.Subject(), "with file");
    try {
        pop.RetrieveHeaders(9, h);
        ADD_FAILURE() << "TOP of a missing message accepted";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()), "-ERR There's no message 9.");
    }
    EXPECT_EQ(pop.CheckMessages(), 1); // still in step
    pop.Disconnect();
}

TEST(Dovecot, DeletionTakesEffectAfterQuit)
{
    NEED_DOVECOT();
    DovecotClearMailbox(3);
    DovecotAddMessage(3, Message("keep", "k\n"));
    DovecotAddMessage(3, Message("drop", "d\n"));
    TWirePOP3 pop;
    Login(pop, 3);
    ASSERT_EQ(pop.CheckMessages(), 2);
    EXPECT_TRUE(pop.DeleteMessage(2));
    EXPECT_FALSE(pop.DeleteMessage(7));
    pop.Disconnect();

    Login(pop, 3);
    EXPECT_EQ(pop.CheckMessages(), 1);
    TWireMessage m;
    ASSERT_TRUE(pop.RetrieveHeaders(1, m));
    EXPECT_EQ(m.Subject(), "keep");
    pop.Disconnect();
    EXPECT_EQ(DovecotMessageCount(3), 1);
}

TEST(Dovecot, WrongPasswordIsRefused)
{
    NEED_DOVECOT();
    TWirePOP3 pop;
    pop.Host = "127.0.0.1:" + std::to_string(DovecotPort());
    pop.UserID = DovecotUser(4);
    pop.Password = "not-the-password";
    try {
        pop.Connect();
        ADD_FAILURE() << "logged in with a wrong password";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()), "-ERR [AUTH] Authentication failed.");
    }
    EXPECT_FALSE(pop.Connected());
}
