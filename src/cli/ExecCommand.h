#pragma once
// --exec CMD: a program the user names, started once per new message
// without a shell. The program and its arguments come from the user's own
// command text only; what a server sent (sender, subject, ...) reaches it
// in environment variables, never on its command line. Each run is bounded
// in time and never holds up the watch.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace pelko::cli {

// The command text split into the program and its arguments: words apart by
// blanks; '...' keeps everything inside as it is, "..." too except that \"
// and \\ stand for " and \; a backslash outside quotes takes the next
// character as it is. Nothing else is interpreted (no $, no globs, no
// pipes). Empty (a reason in error) for a text with no word or an open
// quote.
std::vector<std::string> SplitCommandText(const std::string& text, std::string& error);

// A value for the environment of the program: control characters (line
// breaks, ESC, C1, DEL) and the characters that reorder or hide text are
// removed, invalid UTF-8 becomes U+FFFD, and at most kMaxEnvValueBytes are
// kept (never a character cut in two).
constexpr size_t kMaxEnvValueBytes = 4096;
std::string EnvValue(const std::string& text);

using EnvVars = std::vector<std::pair<std::string, std::string>>;

class ExecRunner {
public:
    // argv: the program (found on PATH when it has no "/") and its arguments.
    // A run still going after limit is ended (SIGTERM, a second later
    // SIGKILL); at most maxRunning run at once.
    ExecRunner(std::vector<std::string> argv, std::chrono::milliseconds limit, size_t maxRunning = 8);
    // Ends the runs still going (as past their limit) and waits for them.
    ~ExecRunner();
    ExecRunner(const ExecRunner&) = delete;
    ExecRunner& operator=(const ExecRunner&) = delete;

    // Starts the program with the process's environment plus vars (which
    // take the place of variables of the same names) and returns at once.
    // False with the reason in error when it cannot be started, or when
    // maxRunning runs are still going (this one is then left out).
    bool Start(const EnvVars& vars, std::string& error);

private:
    struct Run;
    void Watch(Run* run);

    std::vector<std::string> argv_;
    std::chrono::milliseconds limit_;
    size_t maxRunning_;
    std::mutex mutex_;
    std::condition_variable ending_;
    bool closing_ = false;
    // The destructor closes the write end: every run's watcher wakes.
    int closing_fds_[2] = {-1, -1};
    std::vector<std::unique_ptr<Run>> runs_;
};

} // namespace pelko::cli
