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

struct Child {
    pid_t pid = -1;
    ~Child()
    {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

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
    std::vector<char*> argv;
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    Child child;
    const int spawned = ::posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (spawned != 0) {
        child.pid = -1;
        ::close(out[0]);
        throw EWireException(named + " could not be started: " + std::strerror(spawned));
    }

    // Read until the output ends (bounded), waiting in short slices.
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool ended = false;
    try {
        while (!ended) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            if (left <= 0)
                throw EWireException(named + " did not finish within " + Seconds(timeoutMs) + ".");
            pollfd p{out[0], POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::min<long long>(left, 30))) > 0) {
                char buf[4096];
                const ssize_t n = ::read(out[0], buf, sizeof buf);
                if (n > 0 && output.size() < 64 * 1024)
                    output.append(buf, static_cast<size_t>(n));
                ended = n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN);
            } else if (idle) {
                idle();
            }
        }
    } catch (...) {
        ::close(out[0]);
        throw;
    }
    ::close(out[0]);
    // The output has ended; the program itself gets what is left of the time.
    int status = 0;
    for (;;) {
        const pid_t r = ::waitpid(child.pid, &status, WNOHANG);
        if (r == child.pid)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            throw EWireException(named + " did not finish within " + Seconds(timeoutMs) + ".");
        if (idle)
            idle();
        ::usleep(10000);
    }
    child.pid = -1;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
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
