// The mail session without any window, against scripted servers: deadlines,
// calling an exchange off, what a failure leaves behind, and the new-mail
// rule per account.
#include "FullQueue.h"
#include "ScriptedPeer.h"
#include "session/MailSession.h"
#include "session/NewMailHeaders.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>

namespace pelko {
namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point t)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t).count();
}

struct SessionFixture : ::testing::Test {
    Commun c;
    MailSession s{c};

    void oneAccount(const std::string& host)
    {
        c.AccCount = 1;
        c.Accounts[1].acc_name = "Home";
        c.Accounts[1].host_name = host;
        c.Accounts[1].user_name = "joe";
        c.Accounts[1].password = "word";
        ASSERT_TRUE(s.MoveToNextAccount());
    }

    // Runs body as one exchange; returns the time it took and the text of
    // what ended it ("" when nothing did).
    std::pair<long long, std::string> run(const std::function<void()>& body)
    {
        const auto start = Clock::now();
        std::string why;
        try {
            s.Run(body);
        } catch (const EWireCancelled& e) {
            why = e.what();
        } catch (const std::exception& e) {
            why = e.what();
        }
        return {msSince(start), why};
    }
};

const std::string kLogin = "S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\nS: +OK in\n";

TEST_F(SessionFixture, SlowServersEndWithTheTimeOutAtTheDeadline)
{
    struct Case {
        const char* what;
        std::string script;
        std::function<void(MailSession&)> step;
    };
    std::string trickle; // every byte within the time-out, the greeting not
    for (char ch : std::string("+OK slowly"))
        trickle += std::string("SRAW: ") + ch + "\nSTALL 150\n";
    std::string listing = kLogin + "C: UIDL\nS: +OK\n";
    for (int i = 1; i <= 12; ++i)
        listing += "S: " + std::to_string(i) + " u\nSTALL 150\n";
    const Case cases[] = {
        {"trickled greeting", trickle, [](MailSession& m) { m.Login(); }},
        {"trickled listing", listing + "S: .\n", [](MailSession& m) {
             m.Login();
             m.CountMessages();
         }},
        {"stalled message", kLogin + "C: RETR 1\nS: +OK\nS: Subject: x\nSTALL 3000\n", [](MailSession& m) {
             m.Login();
             TWireMessage msg;
             m.Box().FetchMessage(1, msg);
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        ScriptedPeer peer(k.script);
        oneAccount("127.0.0.1:" + std::to_string(peer.port()));
        s.Box().SetTimeout(600);
        const auto [ms, why] = run([&] { k.step(s); });
        EXPECT_NE(why.find("timed out"), std::string::npos) << why;
        EXPECT_GE(ms, 550);
        EXPECT_LT(ms, 1100) << "the deadline covers the whole step";
        EXPECT_FALSE(s.Connected()) << "no connection out of step is kept";
        EXPECT_EQ(peer.received().find("Quit"), std::string::npos) << "nothing is written after a time-out";
        peer.finish(100);
    }
}

TEST_F(SessionFixture, StalledConnectCostsOneTimeOutAndWritesNothing)
{
    FullQueue queue;
    ASSERT_TRUE(queue.ok());
    oneAccount(queue.address());
    s.Box().SetTimeout(400);
    const auto [ms, why] = run([&] { s.Login(); });
    EXPECT_NE(why.find("timed out"), std::string::npos) << why;
    EXPECT_LT(ms, 700) << "a second wait for \"Quit\" on the socket that never connected";
    EXPECT_FALSE(s.Connected());
}

TEST_F(SessionFixture, CancelEndsTheWaitingStepAtOnceWithoutQuit)
{
    ScriptedPeer peer(kLogin + "C: UIDL\nS: +OK\nS: 1 a\nSTALL 5000\nS: .\n");
    oneAccount("127.0.0.1:" + std::to_string(peer.port()));
    Clock::time_point cancelledAt{};
    const auto start = Clock::now();
    s.OnWait = [&] {
        if (msSince(start) > 300 && cancelledAt == Clock::time_point{}) {
            cancelledAt = Clock::now();
            s.Cancel();
        }
    };
    int ended = 0;
    s.OnExchangesEnded = [&] { ++ended; };
    const auto [ms, why] = run([&] {
        s.Login();
        s.CountMessages();
    });
    EXPECT_EQ(why, EWireCancelled().what());
    EXPECT_LT(msSince(cancelledAt), 200);
    EXPECT_FALSE(s.Connected());
    EXPECT_FALSE(s.Busy());
    EXPECT_EQ(ended, 1);
    peer.finish(100);
    EXPECT_EQ(peer.received(), "User joe\r\nPass word\r\nUIDL\r\n");

    // The call-off ended with its exchange: the next one runs.
    s.OnWait = nullptr;
    ScriptedPeer next(kLogin + "C: UIDL\nS: +OK\nS: 1 a\nS: .\nC: Quit\n");
    oneAccount("127.0.0.1:" + std::to_string(next.port()));
    int32_t count = -1;
    EXPECT_EQ(run([&] {
                  s.Login();
                  count = s.CountMessages();
                  s.Close();
              }).second,
              "");
    EXPECT_EQ(count, 1);
    ASSERT_TRUE(next.finish());
    EXPECT_TRUE(next.mismatches().empty()) << next.mismatches().front();
}

TEST_F(SessionFixture, EachAccountIsComparedWithItsOwnPreviousCount)
{
    c.AccCount = 2;
    // account, count, news?
    const struct {
        int account, count;
        bool news;
    } rows[] = {
        {1, 5, false}, {2, 3, false}, // the first check of each: 99 before
        {1, 5, false}, {2, 3, false}, // 3 after 5 and 5 after 3: nothing arrived
        {1, 6, true},  {2, 2, false}, {2, 3, true},
    };
    for (const auto& r : rows) {
        s.SetCurAcc(r.account);
        EXPECT_EQ(s.TakeCount(r.count), r.news) << r.account << ": " << r.count;
    }
    s.ResetPrevCounts(0); // a Connect click: what waits is news once
    s.SetCurAcc(2);
    EXPECT_TRUE(s.TakeCount(3));
    EXPECT_FALSE(s.TakeCount(3));
    EXPECT_EQ(s.PrevCountOf(1), 0);
}

TEST_F(SessionFixture, NewMailIsNamedInOneShortLine)
{
    // A subject folded over 4 MB and a sender that turns its text around.
    std::string script = kLogin + "C: TOP 1 0\nS: +OK\nS: From: \xe2\x80\xae" "moc.knab <x@y>\nS: Subject: a";
    for (int i = 0; i < 40000; ++i)
        script += "\nS:  " + std::string(100, 'b');
    ScriptedPeer peer(script + "\nS:\nS: .\nC: Quit\n");
    oneAccount("127.0.0.1:" + std::to_string(peer.port()));
    s.Login();
    const NewMailHeaders h = FetchNewMailHeaders(s.Box(), 1);
    EXPECT_EQ(h.from, "moc.knab <x@y>");
    std::string unfolded = "a";
    while (unfolded.size() < 1000)
        unfolded += " " + std::string(100, 'b');
    EXPECT_EQ(h.subject, unfolded.substr(0, 999) + "\xe2\x80\xa6");
}

} // namespace
} // namespace pelko
