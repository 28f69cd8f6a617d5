// The watch against a scripted server: a million EXISTS tells the one
// message that is new, and an IDLE the server ends itself is looked at and
// started again.
#include "ScriptedPeer.h"
#include "session/MailWatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace pelko {
namespace {

const char* const kScript = R"(S: * OK [CAPABILITY IMAP4rev1 SASL-IR AUTH=PLAIN IDLE] ready
C: A1 AUTHENTICATE PLAIN AGpvZQBzZWNyZXQ=
S: A1 OK [CAPABILITY IMAP4rev1 IDLE] Logged in
C: A2 EXAMINE "INBOX"
S: * 1 EXISTS
S: * OK [UIDVALIDITY 7] UIDs valid
S: A2 OK [READ-ONLY] done
C: A3 UID SEARCH UNSEEN
S: * SEARCH 10
S: A3 OK done
C: A4 IDLE
S: + idling
S: * 1000000 EXISTS
C: DONE
S: A4 OK Idle completed.
C: A5 UID SEARCH UNSEEN
S: * SEARCH 10 11
S: A5 OK done
C: A6 UID FETCH 11 (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])
S: * 2 FETCH (UID 11 BODY[HEADER.FIELDS (FROM SUBJECT DATE)] {20}
S: Subject: hostile
S:
S: )
S: A6 OK done
C: A7 IDLE
S: + idling
S: A7 OK The server ends the IDLE itself.
C: A8 UID SEARCH UNSEEN
S: * SEARCH 10 11 12
S: A8 OK done
C: A9 UID FETCH 12 (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])
S: A9 OK nothing for you
C: A10 IDLE
S: + idling
)";

TEST(MailWatchScript, AMillionExistsTellsWhatIsNewAndAnIdleEndedByTheServerStartsAgain)
{
    ScriptedPeer peer(kScript);
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> queue;
    MailWatch watch([&](std::function<void()> f) {
        std::lock_guard<std::mutex> lock(mutex);
        queue.push_back(std::move(f));
        wake.notify_all();
    });
    std::vector<WatchNews> news;
    watch.OnNewMail = [&](const WatchNews& n) { news.push_back(n); };
    WatchedAccount a;
    a.account.host = "imap://127.0.0.1:" + std::to_string(peer.port());
    a.account.user = "joe";
    a.account.secret.password = "secret";
    SeenIds seen;
    // On record as holding 10: the first listing tells nothing.
    seen.Update(SeenIds::Key(a.account), "7", {{1, "7.10"}}, false);
    watch.Start({a}, seen);
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::unique_lock<std::mutex> lock(mutex);
        while (news.size() < 2 && wake.wait_until(lock, end, [&] { return !queue.empty(); })) {
            auto f = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            f();
            lock.lock();
        }
    }
    watch.Stop();
    EXPECT_TRUE(peer.finish());
    EXPECT_EQ(peer.mismatches(), std::vector<std::string>{});
    ASSERT_EQ(news.size(), 2u);
    EXPECT_EQ(news[0].newCount, 1u);
    EXPECT_EQ(news[0].unseen, 2);
    ASSERT_EQ(news[0].messages.size(), 1u);
    EXPECT_EQ(news[0].messages[0].uid, 11u);
    EXPECT_EQ(news[0].messages[0].subject, "hostile");
    // Refused headers: told without them.
    ASSERT_EQ(news[1].messages.size(), 1u);
    EXPECT_EQ(news[1].messages[0].uid, 12u);
    EXPECT_EQ(news[1].messages[0].subject, "");
}

} // namespace
} // namespace pelko
