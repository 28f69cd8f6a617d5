// pelko-check --watch and --exec, the built binary against the test
// dovecot (user 48 belongs to this test).
#include "Dovecot.h"
#include "FakeSystemBus.h"
#include "config/Scramble.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace pelko;
using namespace std::chrono_literals;

namespace {

std::string Binary()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/')) + "/../bin/pelko-check";
}

std::string Section(int n, const std::string& name, const std::string& host, int user)
{
    return "\r\n[Account" + std::to_string(n) + "]\r\nacc_name = " + name + "\r\nhost_name = " + host +
           "\r\nuser_name = " + DovecotUser(user) + "\r\npassword = " + Scramble(DovecotPassword(user), kPasswordKey) +
           "\r\ninactive = 0\r\n";
}

// pelko-check running in the background, its output read line by line.
class Running {
public:
    Running(const std::vector<std::string>& args, const std::string& errPath)
    {
        int fds[2];
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
        posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::string bin = Binary();
        std::vector<char*> argv{const_cast<char*>(bin.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, bin.c_str(), &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Running()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(out_);
    }
    // The next line that holds what, within the deadline; empty when none came.
    std::string LineWith(const std::string& what, std::chrono::milliseconds within)
    {
        const auto end = std::chrono::steady_clock::now() + within;
        for (;;) {
            for (size_t nl; (nl = buffer_.find('\n')) != std::string::npos;) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.find(what) != std::string::npos)
                    return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            pollfd p{out_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return "";
            char buf[4096];
            const ssize_t n = ::read(out_, buf, sizeof buf);
            if (n <= 0)
                return "";
            buffer_.append(buf, size_t(n));
        }
    }
    // Whether lines holding each of whats come within (in any order; the
    // lines read are used up).
    bool LinesWith(std::vector<std::string> whats, std::chrono::milliseconds within)
    {
        const auto end = std::chrono::steady_clock::now() + within;
        while (!whats.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            const std::string line = LineWith("", std::max(left, std::chrono::milliseconds(0)));
            if (line.empty())
                return false;
            for (auto it = whats.begin(); it != whats.end(); ++it)
                if (line.find(*it) != std::string::npos) {
                    whats.erase(it);
                    break;
                }
        }
        return true;
    }
    // Sends sig and waits up to within for the end: the exit status, -1 when
    // it did not end by itself.
    int EndWith(int sig, std::chrono::milliseconds within)
    {
        ::kill(pid_, sig);
        const auto end = std::chrono::steady_clock::now() + within;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end)
                return -1;
            pollfd none{-1, 0, 0};
            ::poll(&none, 0, 10); // the deadline's step, not a measurement
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string buffer_;
};

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Waits up to within for done() to hold.
template <class Done>
bool Eventually(Done done, std::chrono::milliseconds within)
{
    const auto end = std::chrono::steady_clock::now() + within;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, 10); // the deadline's step, not a measurement
    }
    return true;
}

// Waits up to within for the file to hold what.
bool FileGets(const std::string& path, const std::string& what, std::chrono::milliseconds within)
{
    return Eventually([&] { return ReadAll(path).find(what) != std::string::npos; }, within);
}

// A folder with two accounts of the user on the test dovecot: "Push" over
// IMAP, "Poll" over POP3.
std::string PushAndPollFolder(int user)
{
    char tmpl[] = "/tmp/pelko-watch-XXXXXX";
    EXPECT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::ofstream(dir + "/Accounts.ini", std::ios::binary)
        << Section(1, "Push", "imap://127.0.0.1:" + std::to_string(DovecotImapPort()), user)
        << Section(2, "Poll", "127.0.0.1:" + std::to_string(DovecotPort()), user);
    return dir;
}

} // namespace

TEST(PelkoCheckWatch, PrintsEachChangeAndRunsTheCommandPerNewMessageWithoutAShell)
{
    if (DovecotImapPort() <= 0)
        GTEST_SKIP() << "no test imapd";
    const int user = 48;
    DovecotClearMailbox(user);
    const std::string dir = PushAndPollFolder(user);

    const std::string errPath = dir + "/stderr";
    Running check({"--watch", "--dir", dir, "--every", "1", "--exec", "/usr/bin/env 'PELKO_EXTRA=a b'"}, errPath);
    EXPECT_EQ(check.LineWith("\"Push\"", 10s), "{\"account\":\"Push\",\"count\":0}");

    // What the server sends reaches the command in its environment only,
    // without control characters; nothing in it is run.
    const std::string planted = dir + "/planted";
    DovecotAddMessage(user, "From: Anna <anna@example.org>\r\nSubject: $(touch " + planted +
                                ") \x1b]0;title\x07 `id`\r\nDate: Mon, 7 Dec 2026 10:00:00 +0000\r\n\r\nHi.\r\n");
    const std::string news = check.LineWith("\"Push\",\"count\":1", 5s);
    EXPECT_NE(news.find("\"new\":1,\"new_messages\":[{\"uid\":"), std::string::npos) << news;
    EXPECT_NE(news.find("\"from\":\"Anna <anna@example.org>\""), std::string::npos) << news;
    EXPECT_NE(news.find("\"date\":\"Mon, 7 Dec 2026 10:00:00 +0000\""), std::string::npos) << news;
    EXPECT_EQ(news.find('\x1b'), std::string::npos);
    // The POP3 account is checked on the timer, as often as --every says.
    EXPECT_NE(check.LineWith("{\"account\":\"Poll\",\"count\":1,\"new\":1,", 5s), "");
    EXPECT_TRUE(FileGets(errPath, "PELKO_ACCOUNT=Poll\n", 5s));

    EXPECT_EQ(check.EndWith(SIGTERM, 2s), 0);
    const std::string env = ReadAll(errPath);
    EXPECT_NE(env.find("PELKO_ACCOUNT=Push\n"), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_ACCOUNT=Poll\n"), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_FROM=Anna <anna@example.org>\n"), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_SUBJECT=$(touch " + planted + ") "), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_DATE=Mon, 7 Dec 2026 10:00:00 +0000\n"), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_UID="), std::string::npos) << env;
    EXPECT_NE(env.find("PELKO_EXTRA=a b\n"), std::string::npos) << env;
    EXPECT_EQ(env.find('\x1b'), std::string::npos);
    EXPECT_EQ(env.find('\x07'), std::string::npos);
    EXPECT_NE(::access(planted.c_str(), F_OK), 0);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(PelkoCheckWatch, AServerThatIsDownIsTriedAgainOnlyAfterItsPause)
{
    int port = 0;
    {
        // A port nobody listens on: bound, then let go.
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ASSERT_EQ(::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len), 0);
        port = ntohs(a.sin_port);
        ::close(s);
    }
    char tmpl[] = "/tmp/pelko-watch-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    std::ofstream(dir + "/Accounts.ini", std::ios::binary) << Section(1, "Down", "127.0.0.1:" + std::to_string(port), 48);
    Running check({"--watch", "--dir", dir, "--every", "1"}, dir + "/stderr");
    const std::string first = check.LineWith("\"Down\"", 10s);
    EXPECT_NE(first.find("(next try at "), std::string::npos) << first;
    // Checked every second otherwise: the minute's pause keeps it quiet.
    EXPECT_EQ(check.LineWith("\"Down\"", 2500ms), "");
    EXPECT_EQ(check.EndWith(SIGTERM, 2s), 0);
}

TEST(PelkoCheckWatch, SleepAndGoingOfflineEndTheConnectionsAndWakingOrComingBackTellsWhatCameOnce)
{
    if (DovecotImapPort() <= 0)
        GTEST_SKIP() << "no test imapd";
    test::FakeSystemBus bus;
    ASSERT_TRUE(bus.ok());
    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", bus.address().c_str(), 1);
    const int user = 53;
    DovecotClearMailbox(user);
    const std::string dir = PushAndPollFolder(user);
    Running check({"--watch", "--dir", dir, "--every", "1"}, dir + "/stderr");
    EXPECT_TRUE(check.LinesWith({"{\"account\":\"Push\",\"count\":0}", "{\"account\":\"Poll\",\"count\":0}"}, 10s));
    EXPECT_NE(bus.LoginLog().find("inhibit sleep pelko-check delay"), std::string::npos);

    // Asleep: the machine is let go once the connections are closed, and
    // nothing is tried (the POP3 account would be checked every second).
    bus.Sleep(true);
    EXPECT_TRUE(Eventually([&] { return bus.LoginLog().find("released") != std::string::npos; }, 3s));
    const std::string mail = "From: a@example.org\r\nSubject: While away\r\n\r\nHi.\r\n";
    DovecotAddMessage(user, mail);
    EXPECT_EQ(check.LineWith("\"count\":1", 2500ms), "");
    // Awake: the lock again, and the mail that came meanwhile told once.
    bus.Sleep(false);
    EXPECT_TRUE(check.LinesWith({"\"Push\",\"count\":1,\"new\":1,", "\"Poll\",\"count\":1,\"new\":1,"}, 5s));
    const std::string log = bus.LoginLog();
    EXPECT_NE(log.find("inhibit", log.find("released")), std::string::npos) << log;

    // Offline: said once per account, nothing tried, no error.
    bus.SetNetwork(20, 1);
    EXPECT_TRUE(check.LinesWith({"{\"account\":\"Push\",\"offline\":true}", "{\"account\":\"Poll\",\"offline\":true}"}, 5s));
    DovecotAddMessage(user, mail);
    EXPECT_EQ(check.LineWith("\"", 2500ms), "");
    // Back online: checked at once.
    bus.SetNetwork(70, 1);
    EXPECT_TRUE(check.LinesWith({"\"Push\",\"count\":2,\"new\":1,", "\"Poll\",\"count\":2,\"new\":1,"}, 5s));
    // On another network the watch's connection is opened anew.
    bus.SetNetwork(70, 2);
    EXPECT_EQ(check.LineWith("\"Push\"", 5s), "{\"account\":\"Push\",\"count\":2}");
    EXPECT_EQ(check.EndWith(SIGTERM, 2s), 0);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}
