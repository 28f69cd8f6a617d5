// The watch against the test dovecot's imapd (users 45 to 47 belong to
// these tests): new mail told once, also across a restart, across a
// connection that went silent or said BYE, and to a check after the watch;
// Stop within 0.2 s.
#include "Dovecot.h"
#include "session/AccountCheck.h"
#include "session/MailWatch.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pelko {
namespace {

using namespace std::chrono_literals;

std::string Message(const std::string& subject)
{
    return "From: Anna <anna@example.org>\r\nTo: u@example.org\r\nSubject: " + subject +
           "\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nHello.\r\n";
}

// The owner's side: what the watch posts is queued here and run by the test
// thread, as a window runs it on its own.
class Owner {
public:
    MailWatch::Post Post()
    {
        return [this](std::function<void()> f) {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(f));
            wake_.notify_all();
        };
    }
    // Runs what was posted until done() holds (true) or the deadline passes.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds within)
    {
        const auto end = std::chrono::steady_clock::now() + within;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            while (!queue_.empty()) {
                auto f = std::move(queue_.front());
                queue_.pop_front();
                lock.unlock();
                f();
                lock.lock();
            }
            if (done())
                return true;
            if (wake_.wait_until(lock, end) == std::cv_status::timeout && queue_.empty())
                return done();
        }
    }

    std::vector<WatchNews> news;
    std::vector<WatchCount> counts;
    std::vector<WatchStateEvent> states;

    void Hook(MailWatch& w)
    {
        w.OnNewMail = [this](const WatchNews& n) { news.push_back(n); };
        w.OnCount = [this](const WatchCount& c) { counts.push_back(c); };
        w.OnState = [this](const WatchStateEvent& s) { states.push_back(s); };
    }
    bool Saw(WatchState s, size_t from = 0) const
    {
        for (size_t k = from; k < states.size(); ++k)
            if (states[k].state == s)
                return true;
        return false;
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
};

WatchedAccount ImapAccount(int user, int port)
{
    WatchedAccount a;
    a.index = 3;
    a.account.name = "watched";
    a.account.host = "imap://127.0.0.1:" + std::to_string(port);
    a.account.user = DovecotUser(user);
    a.account.secret.password = DovecotPassword(user);
    return a;
}

// Stop, run on the side: true when it returned within 0.2 s.
bool StopsWithin200ms(MailWatch& w)
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread t([&] {
        w.Stop();
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_all();
    });
    bool quick;
    {
        std::unique_lock<std::mutex> lock(m);
        quick = cv.wait_for(lock, 200ms, [&] { return done; });
    }
    t.join();
    return quick;
}

class MailWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (DovecotImapPort() <= 0)
            GTEST_SKIP() << "no test imapd";
    }
};

TEST_F(MailWatchTest, NewMailIsToldOnceAsItArrivesAndAfterARestart)
{
    const int user = 45;
    DovecotClearMailbox(user);
    DovecotAddMessage(user, Message("before"));
    Owner owner;
    SeenIds seen;
    {
        MailWatch watch(owner.Post());
        owner.Hook(watch);
        watch.Start({ImapAccount(user, DovecotImapPort())}, seen);
        // A mailbox not on record is the baseline: counted, nothing told.
        ASSERT_TRUE(owner.RunUntil([&] { return owner.Saw(WatchState::Watching) && !owner.counts.empty(); }, 10s));
        EXPECT_EQ(owner.counts[0].unseen, 1);
        EXPECT_EQ(owner.counts[0].account, 3u);
        DovecotAddMessage(user, Message("pushed"));
        ASSERT_TRUE(owner.RunUntil([&] { return !owner.news.empty(); }, 5s));
        ASSERT_EQ(owner.news.size(), 1u);
        EXPECT_EQ(owner.news[0].account, 3u);
        EXPECT_EQ(owner.news[0].newCount, 1u);
        EXPECT_EQ(owner.news[0].unseen, 2);
        ASSERT_EQ(owner.news[0].messages.size(), 1u);
        EXPECT_EQ(owner.news[0].messages[0].subject, "pushed");
        EXPECT_EQ(owner.news[0].messages[0].from, "Anna <anna@example.org>");
        ASSERT_TRUE(owner.RunUntil([&] { return owner.counts.size() >= 2; }, 5s));
        EXPECT_EQ(owner.counts.back().unseen, 2);
        for (const WatchCount& c : owner.counts)
            seen.Update(c.key, c.validity, *c.listing, false); // as the owner records it
        EXPECT_TRUE(StopsWithin200ms(watch));
    }
    // A check of the mailbox finds nothing new in what the watch told.
    {
        const MailAccount account = ImapAccount(user, DovecotImapPort()).account;
        std::unique_ptr<Mailbox> box = MakeMailbox(account);
        CheckRules rules;
        SeenIds copy = seen;
        rules.seen = &copy;
        rules.key = SeenIds::Key(account);
        const CheckOutcome checked = CheckMailbox(*box, rules);
        box->Close();
        EXPECT_TRUE(checked.idsKnown);
        EXPECT_EQ(checked.listing.count, 2);
        EXPECT_TRUE(checked.fresh.empty());
    }
    // Mail that arrived while nothing watched is told at the next start,
    // and only it.
    DovecotAddMessage(user, Message("meanwhile"));
    owner.news.clear();
    MailWatch again(owner.Post());
    owner.Hook(again);
    again.Start({ImapAccount(user, DovecotImapPort())}, seen);
    ASSERT_TRUE(owner.RunUntil([&] { return !owner.news.empty(); }, 10s));
    ASSERT_EQ(owner.news[0].messages.size(), 1u);
    EXPECT_EQ(owner.news[0].messages[0].subject, "meanwhile");
    EXPECT_EQ(owner.news[0].unseen, 3);
    EXPECT_TRUE(StopsWithin200ms(again));
}

// Between the watch and the server: forwards, until told to stop forwarding
// on the connections it has (as a NAT that forgot them: what comes is
// dropped, nothing is closed), or to end them with a BYE of the server's.
class Relay {
public:
    explicit Relay(int serverPort) : serverPort_(serverPort)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Pump(); });
    }
    ~Relay()
    {
        stop_ = true;
        thread_.join();
        for (const Pair& p : pairs_) {
            ::close(p.client);
            ::close(p.server);
        }
        ::close(listener_);
    }
    int Port() const { return port_; }
    int Connections() const { return accepted_; }
    void Freeze() { cut_ = accepted_.load(); }
    void Bye() { bye_ = accepted_.load(); }

private:
    struct Pair {
        int client, server, number;
        bool closed;
    };
    void Pump()
    {
        while (!stop_) {
            std::vector<pollfd> fds{{listener_, POLLIN, 0}};
            for (const Pair& p : pairs_) {
                fds.push_back({p.closed ? -1 : p.client, POLLIN, 0});
                fds.push_back({p.closed ? -1 : p.server, POLLIN, 0});
            }
            ::poll(fds.data(), fds.size(), 20);
            if (fds[0].revents & POLLIN) {
                const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                sockaddr_in a{};
                a.sin_family = AF_INET;
                a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                a.sin_port = htons(static_cast<uint16_t>(serverPort_));
                ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
                pairs_.push_back({c, s, ++accepted_, false});
            }
            for (size_t k = 0; k < (fds.size() - 1) / 2; ++k) {
                Pair& p = pairs_[k];
                if (p.closed)
                    continue;
                if (p.number <= bye_) {
                    const char bye[] = "* BYE Server shutting down.\r\n";
                    (void)!::write(p.client, bye, sizeof bye - 1);
                    ::shutdown(p.client, SHUT_RDWR);
                    p.closed = true;
                    continue;
                }
                const bool forward = p.number > cut_;
                for (int side = 0; side < 2; ++side) {
                    const pollfd& f = fds[1 + 2 * k + size_t(side)];
                    if (!(f.revents & (POLLIN | POLLHUP)))
                        continue;
                    char buf[16384];
                    const ssize_t n = ::read(side ? p.server : p.client, buf, sizeof buf);
                    if (n <= 0) {
                        ::shutdown(p.client, SHUT_RDWR);
                        ::shutdown(p.server, SHUT_RDWR);
                        p.closed = true;
                        break;
                    }
                    if (forward)
                        (void)!::write(side ? p.client : p.server, buf, size_t(n));
                }
            }
        }
    }

    int serverPort_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    std::atomic<int> cut_{0};
    std::atomic<int> bye_{0};
    std::vector<Pair> pairs_; // the pump's own
    std::thread thread_;
};

struct LostConnection {
    const char* name;
    int user;
    bool silent; // the relay stops forwarding (else the server says BYE)
};

class MailWatchLost : public MailWatchTest, public ::testing::WithParamInterface<LostConnection> {};

TEST_P(MailWatchLost, IsOpenedAgainAndWhatCameMeanwhileIsToldOnce)
{
    const LostConnection& c = GetParam();
    DovecotClearMailbox(c.user);
    Relay relay(DovecotImapPort());
    Owner owner;
    WatchSettings quick;
    quick.renewal = 1s; // found within renewal + time-out: 2 s
    quick.timeout = 1s;
    quick.firstPause = 100ms;
    MailWatch watch(owner.Post(), quick);
    owner.Hook(watch);
    watch.Start({ImapAccount(c.user, relay.Port())}, SeenIds());
    ASSERT_TRUE(owner.RunUntil([&] { return owner.Saw(WatchState::Watching) && !owner.counts.empty(); }, 10s));
    const size_t before = owner.states.size();
    if (c.silent)
        relay.Freeze();
    else
        relay.Bye();
    DovecotAddMessage(c.user, Message("while lost"));
    ASSERT_TRUE(owner.RunUntil([&] { return !owner.news.empty(); }, 8s));
    EXPECT_TRUE(owner.Saw(WatchState::Retrying, before));
    EXPECT_EQ(relay.Connections(), 2);
    ASSERT_EQ(owner.news[0].messages.size(), 1u);
    EXPECT_EQ(owner.news[0].messages[0].subject, "while lost");
    // The next news names the next message only.
    DovecotAddMessage(c.user, Message("after"));
    ASSERT_TRUE(owner.RunUntil([&] { return owner.news.size() >= 2; }, 5s));
    ASSERT_EQ(owner.news[1].messages.size(), 1u);
    EXPECT_EQ(owner.news[1].messages[0].subject, "after");
    EXPECT_EQ(owner.news[1].unseen, 2);
    EXPECT_TRUE(StopsWithin200ms(watch));
}

INSTANTIATE_TEST_SUITE_P(Ways, MailWatchLost,
                         ::testing::Values(LostConnection{"silent", 46, true}, LostConnection{"bye", 47, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace pelko
