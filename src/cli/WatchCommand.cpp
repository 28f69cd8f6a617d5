#include "cli/WatchCommand.h"

#include "cli/AccountsReader.h"
#include "cli/CheckCommands.h"
#include "cli/ExecCommand.h"
#include "cli/JsonText.h"
#include "cli/MachineEvents.h"
#include "cli/TerminalText.h"
#include "cli/TrustCommand.h"
#include "session/AccountCheck.h"
#include "session/MailWatch.h"
#include "session/RetryPlan.h"
#include "session/SeenIds.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <pthread.h>
#include <thread>
#include <vector>

namespace pelko::cli {

namespace {

using Clock = std::chrono::steady_clock;

// New messages named in a line (and run --exec for) at most.
constexpr size_t kNamedNew = 50;
// How long one run of --exec may take.
constexpr auto kExecLimit = std::chrono::seconds(60);

// The main loop's queue: the watches post here from their threads, the
// loop runs what they posted on its own.
class Loop {
public:
    void Post(std::function<void()> f)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(f));
        }
        wake_.notify_one();
    }
    void End()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ending_ = true;
        }
        wake_.notify_one();
    }
    bool Ending() const { return ending_; }
    // Runs what was posted; waits for it until until (or End).
    void RunUntil(Clock::time_point until)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait_until(lock, until, [this] { return ending_.load() || !queue_.empty(); });
        while (!queue_.empty() && !ending_) {
            auto f = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            f();
            lock.lock();
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    std::atomic<bool> ending_{false};
};

// SIGINT and SIGTERM end the loop: taken by a thread of their own (blocked
// everywhere else, also in the threads started later).
class SignalWatch {
public:
    explicit SignalWatch(Loop& loop)
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
        thread_ = std::thread([this, &loop] {
            int sig = 0;
            while (sigwait(&set_, &sig) != 0) {
            }
            if (!quitting_)
                loop.End();
        });
    }
    ~SignalWatch()
    {
        quitting_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM); // taken by sigwait if still waiting
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }

private:
    sigset_t set_, old_;
    std::atomic<bool> quitting_{false};
    std::thread thread_;
};

struct Message {
    std::string id; // the UID (watched), or the message number (checked on the timer)
    std::string from, subject, date;
};

struct Watched {
    TPOPAcc record;
    bool onTimer = false; // checked every --every seconds
    Clock::time_point due;
    int32_t lastCount = -1;
    bool failing = false; // the last line said an error
};

class Watcher {
public:
    Watcher(const CheckOptions& o, std::ostream& out, std::ostream& err) : o_(o), out_(out), err_(err) {}

    int Run(const AccountTable& accounts, const std::vector<int>& chosen);

private:
    // byNumber: the messages are named by their number (a check on the
    // timer), else by UID (the watch).
    void Line(size_t k, int32_t count, size_t newCount, const std::vector<Message>& named, bool byNumber);
    void Error(size_t k, const std::string& text, const std::string& fingerprint = {});
    void CheckOnTimer(size_t k);
    void SaveSeen();
    // What is done when the machine sleeps, wakes, goes offline or back.
    MachineHandlers MachineFollowed();
    // Asleep or offline: every connection ends without a word.
    bool Paused() const { return asleep_ || offline_; }
    void EndConnections();
    void GoneOffline();
    // Awake and online again: the watches open anew, the other accounts are
    // checked at once and the pauses are forgotten; what came meanwhile is
    // told once.
    void Resume();

    const CheckOptions& o_;
    std::ostream& out_;
    std::ostream& err_;
    std::string dir_;
    Loop loop_;
    std::vector<Watched> watched_;
    SeenIds seen_;
    RetryPlan retry_; // the pauses of the accounts checked on the timer
    std::unique_ptr<ExecRunner> exec_;
    std::map<size_t, WatchNews> pending_; // news waiting for its count
    bool outGone_ = false;
    std::unique_ptr<MailWatch> watch_;
    std::vector<WatchedAccount> imap_;
    bool asleep_ = false, offline_ = false;
    std::atomic<bool> callOff_{false}; // a check on the timer ends at once
};

void Watcher::EndConnections()
{
    watch_->Stop();
    pending_.clear();
}

void Watcher::GoneOffline()
{
    EndConnections();
    for (size_t k = 0; k < watched_.size(); ++k) {
        watched_[k].failing = true; // the count line comes again once back
        out_ << "{\"account\":" << JsonString(watched_[k].record.acc_name) << ",\"offline\":true}\n";
    }
    out_.flush();
    if (!out_)
        outGone_ = true;
}

void Watcher::Resume()
{
    callOff_ = false;
    retry_.ForgetPauses();
    std::vector<WatchedAccount> still;
    for (const WatchedAccount& a : imap_)
        if (!watched_[a.index].onTimer)
            still.push_back(a);
    watch_->Start(still, seen_);
    for (Watched& w : watched_)
        w.due = Clock::now();
}

MachineHandlers Watcher::MachineFollowed()
{
    // Called on the machine's thread: a check on the timer is called off
    // there, the rest is done on the loop's.
    MachineHandlers h;
    h.sleeping = [this](std::function<void()> ready) {
        callOff_ = true;
        loop_.Post([this, ready] {
            asleep_ = true;
            EndConnections();
            ready();
        });
    };
    h.woken = [this] {
        loop_.Post([this] {
            asleep_ = false;
            if (!Paused())
                Resume();
        });
    };
    h.network = [this](bool online) {
        if (!online)
            callOff_ = true;
        loop_.Post([this, online] {
            if (!online) {
                if (!offline_) {
                    offline_ = true;
                    GoneOffline();
                }
                return;
            }
            offline_ = false;
            if (!Paused())
                Resume();
        });
    };
    return h;
}

void Watcher::Line(size_t k, int32_t count, size_t newCount, const std::vector<Message>& named, bool byNumber)
{
    const std::string& name = watched_[k].record.acc_name;
    watched_[k].failing = false;
    out_ << "{\"account\":" << JsonString(name) << ",\"count\":" << count;
    if (newCount > 0) {
        out_ << ",\"new\":" << newCount << ",\"new_messages\":[";
        for (size_t n = 0; n < named.size(); ++n) {
            const Message& m = named[n];
            out_ << (n ? "," : "") << "{\"" << (byNumber ? "number" : "uid") << "\":" << m.id
                 << ",\"from\":" << JsonString(m.from) << ",\"subject\":" << JsonString(m.subject);
            if (!byNumber)
                out_ << ",\"date\":" << JsonString(m.date);
            out_ << "}";
        }
        out_ << "]";
    }
    out_ << "}\n";
    out_.flush();
    if (!out_)
        outGone_ = true;
    if (!exec_)
        return;
    for (const Message& m : named) {
        EnvVars vars = {{"PELKO_ACCOUNT", EnvValue(name)},
                        {"PELKO_COUNT", std::to_string(count)},
                        {"PELKO_FROM", EnvValue(m.from)},
                        {"PELKO_SUBJECT", EnvValue(m.subject)},
                        {"PELKO_DATE", EnvValue(m.date)},
                        {byNumber ? "PELKO_NUMBER" : "PELKO_UID", m.id}};
        std::string why;
        if (!exec_->Start(vars, why))
            err_ << "pelko-check: --exec: " << TerminalText(why) << "\n";
    }
}

void Watcher::Error(size_t k, const std::string& text, const std::string& fingerprint)
{
    const std::string& name = watched_[k].record.acc_name;
    watched_[k].failing = true;
    out_ << "{\"account\":" << JsonString(name) << ",\"error\":" << JsonString(OneLine(text)) << "}\n";
    out_.flush();
    if (!out_)
        outGone_ = true;
    if (!fingerprint.empty())
        err_ << TrustHint(name, fingerprint);
}

void Watcher::SaveSeen()
{
    if (o_.noState || !seen_.Changed())
        return;
    try {
        seen_.Save(dir_ + SeenIds::kFileName);
    } catch (const std::exception& e) {
        err_ << "pelko-check: " << TerminalText(e.what()) << "\n";
    }
}

void Watcher::CheckOnTimer(size_t k)
{
    Watched& w = watched_[k];
    w.due = Clock::now() + std::chrono::seconds(o_.everySeconds);
    // A failed account waits out its pause; a refused sign-in is not tried
    // again by itself (the same secret only brings a lock nearer).
    const int32_t account = int32_t(k);
    if (!retry_.MayTry(account))
        return;
    retry_.Started(account);
    const std::unique_ptr<Mailbox> box = MakeMailbox(AccountOf(w.record));
    box->SetTimeout(o_.timeoutMs);
    box->TrustedCertificate = PinLookup(dir_, w.record.acc_name);
    box->OnWork = [this, &box] {
        if (loop_.Ending() || callOff_)
            box->Cancel();
    };
    CheckRules rules;
    rules.seen = &seen_;
    rules.key = SeenIds::Key(w.record);
    rules.nameUpTo = kNamedNew;
    try {
        const CheckOutcome got = CheckMailbox(*box, rules);
        retry_.Succeeded(account);
        if (box->Connected())
            box->Close();
        if (!got.listing.refusal.empty()) {
            Error(k, got.listing.refusal);
            return;
        }
        if (got.listing.count != w.lastCount || !got.fresh.empty() || w.failing) {
            w.lastCount = got.listing.count;
            std::vector<Message> named;
            for (size_t n = 0; n < got.fresh.size() && n < kNamedNew; ++n) {
                Message m;
                m.id = std::to_string(got.fresh[n].number);
                if (n < got.named.size()) {
                    m.from = got.named[n].from;
                    m.subject = got.named[n].subject;
                }
                named.push_back(m);
            }
            Line(k, got.listing.count, got.fresh.size(), named, true);
        }
        SaveSeen(); // recorded once reported
    } catch (const EWireCancelled&) {
        box->Abort();
    } catch (const EWireTlsError& e) {
        box->Abort();
        retry_.Failed(account, FailureKindOf(e));
        Error(k, e.what(), e.Refused.fingerprint);
    } catch (const std::exception& e) {
        box->Abort();
        retry_.Failed(account, FailureKindOf(e));
        const std::string wait = retry_.WaitText(account);
        Error(k, wait.empty() ? std::string(e.what()) : std::string(e.what()) + " (" + wait + ")");
    }
}

int Watcher::Run(const AccountTable& accounts, const std::vector<int>& chosen)
{
    dir_ = WithSlash(o_.dir);
    seen_.Load(dir_ + SeenIds::kFileName);
    if (!o_.execCommand.empty()) {
        std::string why;
        std::vector<std::string> argv = SplitCommandText(o_.execCommand, why);
        if (argv.empty()) {
            err_ << "pelko-check: --exec: " << TerminalText(why) << "\n";
            return kExitUsage;
        }
        exec_ = std::make_unique<ExecRunner>(std::move(argv), kExecLimit);
    }
    retry_.SetTurnInterval(std::chrono::seconds(o_.everySeconds));
    SignalWatch signals(loop_); // before any other thread starts
    for (int i : chosen) {
        Watched w;
        w.record = accounts[size_t(i)];
        const MailAccount account = AccountOf(w.record);
        w.onTimer = !Watchable(account);
        if (!w.onTimer) {
            WatchedAccount a;
            a.index = watched_.size();
            a.account = account;
            a.trustedCertificate = PinLookup(dir_, w.record.acc_name);
            imap_.push_back(std::move(a));
        }
        w.due = Clock::now();
        watched_.push_back(w);
    }

    WatchSettings settings;
    settings.timeout = std::chrono::milliseconds(o_.timeoutMs);
    settings.nameUpTo = kNamedNew;
    watch_ = std::make_unique<MailWatch>([this](std::function<void()> f) { loop_.Post(std::move(f)); }, settings);
    MailWatch& watch = *watch_;
    watch.OnNewMail = [this](const WatchNews& n) { pending_[n.account] = n; };
    watch.OnCount = [this](const WatchCount& c) {
        std::vector<Message> named;
        size_t newCount = 0;
        if (auto it = pending_.find(c.account); it != pending_.end()) {
            newCount = it->second.newCount;
            for (const WatchedMessage& m : it->second.messages)
                named.push_back({std::to_string(m.uid), m.from, m.subject, m.date});
            pending_.erase(it);
        }
        watched_[c.account].lastCount = c.unseen;
        Line(c.account, c.unseen, newCount, named, false);
        seen_.Update(c.key, c.validity, *c.listing, false);
        SaveSeen(); // recorded once reported
    };
    watch.OnState = [this](const WatchStateEvent& e) {
        Watched& w = watched_[e.account];
        switch (e.state) {
        case WatchState::NoIdle:
            // Without IDLE the account is checked as POP3 ones are.
            w.onTimer = true;
            w.due = Clock::now();
            break;
        case WatchState::Retrying:
        case WatchState::Failed:
            Error(e.account, e.text, e.refusedCertificate);
            break;
        case WatchState::Watching:
            // Back after a failure: the count line again, so that a status
            // bar does not go on showing the error.
            if (w.failing && w.lastCount >= 0)
                Line(e.account, w.lastCount, 0, {}, false);
            break;
        default:
            break;
        }
    };
    MachineEvents machine(MachineFollowed());
    machine.Start();
    if (machine.Network() == NetworkState::Offline) {
        offline_ = true;
        GoneOffline();
    } else {
        watch.Start(imap_, seen_);
    }

    while (!loop_.Ending() && !outGone_) {
        auto next = Clock::now() + std::chrono::hours(24);
        for (size_t k = 0; k < watched_.size() && !loop_.Ending() && !outGone_ && !Paused(); ++k) {
            if (!watched_[k].onTimer)
                continue;
            if (watched_[k].due <= Clock::now())
                CheckOnTimer(k);
            next = std::min(next, watched_[k].due);
        }
        loop_.RunUntil(next);
    }
    callOff_ = true;
    watch.Stop();
    return outGone_ ? kExitFailed : kExitOk;
}

} // namespace

int RunWatch(const CheckOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string dir = WithSlash(o.dir);
    AccountTable accounts{};
    std::vector<int> chosen;
    if (const int status = ReadChosenAccounts(o, dir, accounts, chosen, err); status != kExitOk)
        return status;
    Watcher w(o, out, err);
    return w.Run(accounts, chosen);
}

} // namespace pelko::cli
