#pragma once
// Hostile servers against the real windows. A SerialPeer plays one script per
// connection on one port, in order, so a fault and the check after it (which
// logs in again) meet the same server address; each connection is played
// on a thread of its own. Scripts use the ScriptedPeer
// notation (S:, LF:, SRAW:, RAW, C:, C*, CLOSE, STALL, REPEAT); steps can
// also be handed over directly for bytes no script line can hold.
#include "AwaitExchanges.h"
#include "MainWindowFixture.h"
#include "ScriptedPeer.h"
#include "session/Pop3Mailbox.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace pelko::fault_test {

// The POP3 client under the window's session.
inline TWirePOP3& Pop3ClientOf(TPelko& m)
{
    return dynamic_cast<Pop3Mailbox&>(m.Session().Box()).Client();
}

using namespace pelko::mainwin_test;

class SerialPeer {
public:
    explicit SerialPeer(std::vector<std::vector<PeerStep>> scripts) : scripts_(std::move(scripts))
    {
        listenFd_ = ListenOnLoopback(8, &port_);
        thread_ = std::thread([this] { run(); });
    }
    explicit SerialPeer(const std::vector<std::string>& scriptTexts) : SerialPeer(parseAll(scriptTexts)) {}
    ~SerialPeer()
    {
        stop_ = true;
        thread_.join();
        ::close(listenFd_);
    }
    SerialPeer(const SerialPeer&) = delete;
    SerialPeer& operator=(const SerialPeer&) = delete;

    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int connections() const { return accepted_; }
    // What the client sent on connection k (0-based).
    std::string received(size_t k) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return k < received_.size() ? received_[k] : std::string();
    }
    std::vector<std::string> mismatches() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return mismatches_;
    }

private:
    static std::vector<std::vector<PeerStep>> parseAll(const std::vector<std::string>& texts)
    {
        std::vector<std::vector<PeerStep>> out;
        for (const std::string& t : texts)
            out.push_back(ScriptedPeer::ParseScript(t));
        return out;
    }

    void note(const std::string& s)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        mismatches_.push_back(s);
    }
    void record(size_t k, const char* data, size_t n)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (received_.size() <= k)
            received_.resize(k + 1);
        received_[k].append(data, n);
    }

    // Waits for input on fd; false when the client closed or the peer stops.
    bool readSome(int fd, size_t k, std::string& pending)
    {
        std::string got;
        if (!ReceiveSome(fd, stop_, got))
            return false;
        record(k, got.data(), got.size());
        pending += got;
        return true;
    }

    bool readLine(int fd, size_t k, std::string& pending, std::string& line)
    {
        return ReadLineWith(pending, line, [&] { return readSome(fd, k, pending); });
    }

    // Plays script k on its own thread, so that a stalling connection does
    // not hold up the next one.
    void play(int fd, size_t k)
    {
        std::string pending;
        const std::string who = "connection " + std::to_string(k) + ": ";
        const PeerLink link{[fd](const std::string& bytes) { SendAllBytes(fd, bytes); },
                            [this, fd, k, &pending](std::string& line) { return readLine(fd, k, pending, line); },
                            [this, &who](const std::string& problem) { note(who + problem); }, stop_};
        bool open = true;
        for (const PeerStep& step : scripts_[k]) {
            if (stop_ || !open)
                break;
            open = PlayPeerStep(step, link);
        }
        // The client may keep the connection until its next check: record
        // what it still sends until it closes.
        while (open && readSome(fd, k, pending)) {
        }
        ::close(fd);
    }

    void run()
    {
        for (size_t k = 0; k < scripts_.size() && !stop_; ++k) {
            int fd = -1;
            while (!stop_ && fd < 0) {
                pollfd p{listenFd_, POLLIN, 0};
                if (::poll(&p, 1, 20) > 0)
                    fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            }
            if (fd < 0)
                break;
            ++accepted_;
            players_.emplace_back([this, fd, k] { play(fd, k); });
        }
        for (std::thread& t : players_)
            t.join();
    }

    std::vector<std::vector<PeerStep>> scripts_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> received_;
    std::vector<std::string> mismatches_;
    std::vector<std::thread> players_;
    std::thread thread_;
};

// The login every good script starts with.
inline std::string Login(const std::string& greeting = "+OK ready")
{
    return "S: " + greeting + "\nC: User joe\nS: +OK\nC: Pass word\nS: +OK logged in\n";
}

// A whole good check: login and a listing of n messages.
inline std::string GoodCheck(int n)
{
    return Login() + "C: UIDL\nS: +OK\n" + (n > 0 ? "REPEAT " + std::to_string(n) + " uid\n" : "") + "S: .\n";
}

// A port on which nobody listens (bound, then released).
inline int ClosedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

class FaultTest : public MainWindowTest {
protected:
    static constexpr int kTimeoutMs = 1000;
    // Time a step may take beyond the time-out before it counts as a hang.
    static constexpr int kSlackMs = 2000;

    // The account the scripts log in with ("joe", "word"), named name, at host.
    static TPOPAcc JoeAt(const std::string& name, const std::string& host)
    {
        TPOPAcc a;
        a.acc_name = name;
        a.host_name = host;
        a.user_name = "joe";
        a.password = "word";
        return a;
    }

    // Writes the two files for one account "Home" at host and starts the
    // window with a short time-out. Remembers the files to compare later.
    TPelko& startAt(const std::string& host, bool autocheck = true, bool headerOnly = false)
    {
        SettingsLines s = baseSettings();
        s.playsnd = false;
        s.autocheck = autocheck;
        s.header_only = headerOnly;
        writeSettings(s);
        writeAccounts({JoeAt("Home", host)});
        settingsBytes_ = fileBytes(pelkoIni());
        accountsBytes_ = fileBytes(accountsIni());
        TPelko& m = start();
        m.Session().Box().SetTimeout(kTimeoutMs);
        return m;
    }

    // Runs one handler and returns how long until the exchange it started
    // had ended.
    template <class F>
    qint64 timed(F&& f)
    {
        QElapsedTimer t;
        t.start();
        f();
        awaitExchanges();
        return t.elapsed();
    }

    // Points the account (and the idle session) at another server.
    void moveAccountTo(const std::string& host)
    {
        c.Accounts[1].host_name = host;
        w->Session().UseAccount(1);
    }

    // Neither file has changed since startAt.
    void expectFilesIntact() const
    {
        EXPECT_EQ(fileBytes(pelkoIni()), settingsBytes_);
        EXPECT_EQ(fileBytes(accountsIni()), accountsBytes_);
    }

    std::string lastBox() const { return fake.boxes.empty() ? std::string("<no box>") : fake.boxes.back(); }

    std::string settingsBytes_, accountsBytes_;
};

} // namespace pelko::fault_test
