#include "cli/ExecCommand.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelko::cli {

std::vector<std::string> SplitCommandText(const std::string& text, std::string& error)
{
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            if (inWord)
                words.push_back(std::move(word));
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (c == '\'' || c == '"') {
            const size_t open = i;
            for (++i; i < text.size() && text[i] != c; ++i) {
                if (c == '"' && text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == '"' || text[i + 1] == '\\'))
                    ++i;
                word += text[i];
            }
            if (i >= text.size()) {
                error = "the command has an open quote (at character " + std::to_string(open + 1) + ")";
                return {};
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            word += text[++i];
        } else {
            word += c;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    if (words.empty() || words[0].empty())
        error = "the command names no program";
    return error.empty() ? words : std::vector<std::string>{};
}

std::string EnvValue(const std::string& text)
{
    const std::string utf8 = ToUtf8(text, "");
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = NextUtf8(utf8, i);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || IsFormatCharacter(c) || c == 0x2028 || c == 0x2029)
            continue;
        std::string one;
        AppendUtf8(one, c);
        if (out.size() + one.size() > kMaxEnvValueBytes)
            break;
        out += one;
    }
    return out;
}

struct ExecRunner::Run {
    pid_t pid = -1;
    int pidfd = -1;
    bool done = false;
    std::thread watcher;
};

namespace {

// Waits up to ms for fd (or the closing pipe) to become readable; 0 when
// neither did, 1 when the run ended, 2 when the runner is closing.
int WaitFor(int pidfd, int closing, int ms)
{
    pollfd p[2] = {{pidfd, POLLIN, 0}, {closing, POLLIN, 0}};
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        const int r = ::poll(p, closing >= 0 ? 2 : 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return 0;
        return (p[0].revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 2;
    }
}

} // namespace

ExecRunner::ExecRunner(std::vector<std::string> argv, std::chrono::milliseconds limit, size_t maxRunning)
    : argv_(std::move(argv)), limit_(limit), maxRunning_(maxRunning)
{
    if (::pipe2(closing_fds_, O_CLOEXEC) != 0)
        closing_fds_[0] = closing_fds_[1] = -1;
}

ExecRunner::~ExecRunner()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    if (closing_fds_[1] >= 0)
        ::close(closing_fds_[1]); // readable (at its end) for every watcher now
    for (auto& run : runs_)
        if (run->watcher.joinable())
            run->watcher.join();
    if (closing_fds_[0] >= 0)
        ::close(closing_fds_[0]);
}

void ExecRunner::Watch(Run* run)
{
    int why = WaitFor(run->pidfd, closing_fds_[0], static_cast<int>(limit_.count()));
    if (why != 1) {
        // Past its time, or we are ending: the program and what it started.
        ::kill(-run->pid, SIGTERM);
        if (WaitFor(run->pidfd, -1, 1000) == 0)
            ::kill(-run->pid, SIGKILL);
    }
    int status = 0;
    while (::waitpid(run->pid, &status, 0) < 0 && errno == EINTR) {
    }
    ::close(run->pidfd);
    std::lock_guard<std::mutex> lock(mutex_);
    run->done = true;
}

bool ExecRunner::Start(const EnvVars& vars, std::string& error)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Runs that ended make room.
    for (auto it = runs_.begin(); it != runs_.end();) {
        if ((*it)->done) {
            (*it)->watcher.join(); // it has nothing left to do but return
            it = runs_.erase(it);
        } else {
            ++it;
        }
    }
    if (closing_ || argv_.empty())
        return false;
    if (runs_.size() >= maxRunning_) {
        error = std::to_string(runs_.size()) + " runs of the command are still going; this one is left out";
        return false;
    }

    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& [n, v] : vars)
            replaced = replaced || n == name;
        if (!replaced)
            env.push_back(entry);
    }
    for (const auto& [n, v] : vars)
        env.push_back(n + "=" + v);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& a : argv_)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t fa;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&fa);
    posix_spawnattr_init(&attr);
    // Nothing to read; what it prints goes to our error output, never into
    // the JSON lines on our standard output; none of our other files.
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&fa, 2, 1);
    posix_spawn_file_actions_addclosefrom_np(&fa, 3);
    // A group of its own: a run past its time is ended with what it started.
    posix_spawnattr_setpgroup(&attr, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int r = posix_spawnp(&pid, argv[0], &fa, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    posix_spawnattr_destroy(&attr);
    if (r != 0) {
        error = "cannot start " + argv_[0] + ": " + std::strerror(r);
        return false;
    }
    auto run = std::make_unique<Run>();
    run->pid = pid;
    run->pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (run->pidfd < 0) {
        const int e = errno;
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        error = std::string("cannot watch the command: ") + std::strerror(e);
        return false;
    }
    Run* raw = run.get();
    runs_.push_back(std::move(run));
    raw->watcher = std::thread([this, raw] { Watch(raw); });
    return true;
}

} // namespace pelko::cli
