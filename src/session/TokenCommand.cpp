#include "session/TokenCommand.h"

#include "wire/WireErrors.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

extern char** environ;

namespace pelko {

namespace {

std::vector<std::string> SplitWords(const std::string& line)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\\' && quote == '"' && i + 1 < line.size())
                word += line[++i];
            else
                word += c;
        } else if (c == '\'' || c == '"') {
            quote = c;
            inWord = true;
        } else if (c == '\\' && i + 1 < line.size()) {
            word += line[++i];
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return words;
}

// The command runs in a process group of its own: whatever it leaves
// behind (a helper it started, a pipeline) goes with it.
struct Child {
    pid_t pid = -1;
    bool reaped = false;
    ~Child()
    {
        if (pid <= 0 || reaped)
            return;
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL); // in case it left the group
        ::waitpid(pid, nullptr, 0);
    }
    // True once the command itself has ended (left unreaped, so that its
    // group id stays its own until the group is gone).
    bool Ended() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid;
    }
    // Ends the group and collects the command's exit status.
    int Finish()
    {
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        reaped = true;
        return status;
    }
};

// Output kept of a command that goes on printing: the token is in its first line.
constexpr size_t kKeptOutput = 64 * 1024;
// How long a command that printed its first line may take to end, so that
// its exit status still counts.
constexpr auto kAfterFirstLine = std::chrono::milliseconds(500);

} // namespace

// "30 s", "0.3 s"
std::string Seconds(int ms)
{
    std::string out = std::to_string(ms / 1000);
    if (ms % 1000)
        out += "." + std::to_string((ms % 1000) / 100);
    return out + " s";
}

std::string RunTokenCommand(const std::string& commandLine, int timeoutMs, const std::function<void()>& idle)
{
    const std::string named = "The token command \"" + commandLine + "\"";
    const std::vector<std::string> words = SplitWords(commandLine);
    if (words.empty())
        throw EWireException("No token command is set.");
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw EWireException(named + " could not be started: " + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    Child child;
    const int spawned = ::posix_spawnp(&child.pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(out[1]);
    if (spawned != 0) {
        child.pid = -1;
        ::close(out[0]);
        throw EWireException(named + " could not be started: " + std::strerror(spawned));
    }
    struct CloseRead {
        int fd;
        ~CloseRead() { ::close(fd); }
    } closeRead{out[0]};

    // The wait ends when the command ends (what it printed by then is read;
    // a helper it left holding the output is not waited for) or, a little
    // after its first whole line, even when it goes on printing or running.
    std::string output;
    bool outputEnded = false;
    const auto readSome = [&](int waitMs) {
        pollfd p{out[0], POLLIN, 0};
        if (outputEnded || ::poll(&p, 1, waitMs) <= 0)
            return;
        char buf[4096];
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n > 0 && output.size() < kKeptOutput)
            output.append(buf, static_cast<size_t>(n));
        outputEnded = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
    };
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    auto stopAt = deadline;
    bool ended = false;
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (child.Ended()) {
            ended = true;
            break;
        }
        if (now >= stopAt)
            break;
        if (stopAt == deadline && output.find('\n') != std::string::npos)
            stopAt = std::min(deadline, now + kAfterFirstLine);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(stopAt - now).count();
        if (outputEnded)
            ::usleep(static_cast<useconds_t>(std::min<long long>(left, 10)) * 1000);
        else
            readSome(static_cast<int>(std::min<long long>(left, 30)));
        if (idle)
            idle();
    }
    // What the command printed before it ended is in the pipe now.
    for (int i = 0; ended && !outputEnded && i < 16 && output.size() < kKeptOutput; ++i)
        readSome(0);
    const bool lineDone = output.find('\n') != std::string::npos;
    if (!ended && !lineDone)
        throw EWireException(named + " did not finish within " + Seconds(timeoutMs) + ".");
    const int status = child.Finish();
    if (ended && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        throw EWireException(named + " failed (" +
                             (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                                : std::string("ended by a signal")) +
                             ").");
    std::string token = output.substr(0, output.find('\n'));
    while (!token.empty() && (token.back() == '\r' || token.back() == ' '))
        token.pop_back();
    if (token.empty())
        throw EWireException(named + " printed no token.");
    return token;
}

} // namespace pelko
