#pragma once
// MailSession: the program's one connection to the mail servers, without
// any window. It owns the mailbox of the account in use and the message last
// fetched, turns over the accounts, checks them and keeps what each check
// found, lets one exchange run at a time and can call a running exchange
// off. The main window draws what it reports; the message window fetches
// through it.
//
// Exchanges run on the session's own thread (Start), so the owner's thread
// never waits for a server: what the owner must see of a running exchange
// reaches it as functions run on its own thread (PostToOwner), and the
// exchange's end as the done function given to Start. While an exchange
// runs, the owner leaves the session alone (Busy) except for Cancel and
// CancelAndWait; it may read it inside a function the exchange hands over
// with Show, which holds the exchange until it has run.
#include "session/AccountCheck.h"
#include "session/AccountResults.h"
#include "session/MailAccount.h"
#include "session/MailWatch.h"
#include "session/Mailbox.h"
#include "session/SeenIds.h"
#include "config/Commun.h"
#include "mime/WireMessage.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace pelko {

class MailSession {
public:
    explicit MailSession(Commun& c);
    ~MailSession();
    MailSession(const MailSession&) = delete;
    MailSession& operator=(const MailSession&) = delete;

    TWireMessage Msg;

    // Status texts of the connection, as the mailbox reports them, with the
    // name of the account they are about. Runs on the owner's thread.
    std::function<void(const std::string& account, const std::string& text)> OnStatus;
    // Called on the exchange's thread while a server keeps us waiting.
    std::function<void()> OnWait;
    // The last exchange has ended (normally, by a failure or cancelled).
    std::function<void()> OnExchangesEnded;
    // The fingerprint of the certificate the user trusts for (host, port)
    // of the account in use, or empty.
    std::function<std::string(const std::string& host, uint16_t port)> TrustedCertificate;

    // ---- accounts ----
    // 1-based index into the account table of the account in use.
    int32_t CurAcc() const { return curAcc_; }
    void SetCurAcc(int32_t index) { curAcc_ = index; }
    // Makes account index of the table the one in use: the mailbox signs in
    // to it from now on.
    void UseAccount(int32_t index);
    // The account the mailbox signs in to.
    const MailAccount& Account() const { return account_; }
    std::string AccountName() const;
    // "Account: NAME (HOST)": the line that tells a message box's reader
    // which mailbox failed.
    std::string AccountLine() const;
    // Accounts the turn passes by (watched on connections of their own).
    // Set while no exchange runs.
    void PassBy(std::vector<int32_t> accounts) { passedBy_ = std::move(accounts); }
    // Moves CurAcc on to the next account that is not inactive nor passed by
    // (with exactly one account, that one whatever its state) and uses it. Each account is
    // looked at once: false, and nothing changed, when none can be taken.
    bool MoveToNextAccount();

    // ---- counts ----
    // The count each account had at its previous check.
    int32_t PrevCount() const { return PrevCountOf(curAcc_); }
    int32_t PrevCountOf(int32_t index) const;
    // The previous count before any check: nothing counts as new at the
    // first check.
    static constexpr int32_t kCountAtStart = 99;
    // Every account's previous count (kCountAtStart at start; 0 after a
    // Connect or Disconnect click).
    void ResetPrevCounts(int32_t value);
    // Records the current account's count; true when it is above the
    // account's previous one.
    bool TakeCount(int32_t count);
    // Where the ids seen are kept between runs (read at the first check
    // that needs them).
    void UseStateFile(const std::string& path);

    // ---- the check ----
    // Checks the account in use on the open connection (signing in when
    // there is none): counts (into Commun::MsgCount), tells what is new and
    // records the result. New mail is what the account did not list at its
    // previous check: a mailbox not on record yet holds nothing new at start
    // and everything after a Connect click (its previous count is then 0);
    // without ids the count must have risen. counted runs once that is
    // known; then up to nameUpTo new messages are named.
    CheckOutcome CheckAccount(size_t nameUpTo, const std::function<void(const CheckOutcome&)>& counted);
    // Records that the check of the account in use failed.
    void RecordFailure(const std::string& why);
    const AccountResults& Results() const { return results_; }
    // The results stay shown until the next check starts a new pass.
    void RestartResults() { results_.Restart(); }
    // The latest listing of the mailbox.
    const Listing& LastListing() const { return lastListing_; }
    // What the ids seen are on record (read at the first call).
    const SeenIds& SeenRecord() { return Seen(); }
    // What a watching connection found for account index: its count, and
    // its listing on record so that no check tells those messages again.
    // While no exchange runs.
    void RecordWatched(int32_t index, const WatchCount& count);

    // ---- the exchanges ----
    Mailbox& Box() { return *box_.load(); }
    bool Connected() const { return box_.load()->Connected(); }
    // Signs in to the account in use. On failure the connection is closed
    // and the failure raised.
    void Login();
    // Quits the open connection (if any) and signs in again.
    void Relogin();
    // The number of messages waiting. A refusal of the listing counts 0; a
    // listing that broke off is no count: the connection is closed and the
    // reason raised.
    int32_t CountMessages();

    // True while an exchange runs (asked on the owner's thread). Only one
    // runs at a time: callers refuse to start while it is set.
    bool Busy() const { return started_ || busy_ > 0; }
    // Runs body as (part of) one exchange. An exchange that is cancelled or
    // fails leaves no connection open behind it (the server may be half-way
    // through a reply); the failure is raised again.
    void Run(const std::function<void()>& body);
    // Calls the running exchange off: it ends within one waiting slice by
    // EWireCancelled, with its connection closed without "Quit". Does
    // nothing when no exchange runs.
    void Cancel();

    // Quit and close, whatever state the connection is in. Never raises.
    void Close();

    // ---- the session thread ----
    // Runs a function on the owner's thread, after what was posted before
    // (a queued event). Set, exchanges run on the session's own thread;
    // unset, Start runs them on the caller's thread before it returns.
    std::function<void(std::function<void()>)> PostToOwner;

    // How an exchange ended.
    struct Ending {
        enum class Kind { Completed, Cancelled, Failed };
        Kind kind = Kind::Completed;
        std::string why;            // the failure's text
        std::exception_ptr raised;  // the failure itself
        bool signInRefused = false; // the server refused the user or the secret
        // An error that is not the exchange's (a broken skin picture, say):
        // for the owner's own handling.
        std::exception_ptr error;
        bool completed() const { return kind == Kind::Completed; }
    };
    // Starts work as one exchange (see Run) and returns; done runs on the
    // owner's thread once it has ended, before Busy turns false for anyone
    // else. false, and nothing started, while an exchange runs.
    bool Start(std::function<void()> work, std::function<void(const Ending&)> done);
    // From an exchange: runs fn on the owner's thread and waits until it has
    // run (a cancel ends the wait by EWireCancelled). On the owner's thread,
    // runs fn at once.
    void Show(const std::function<void()>& fn);
    // Calls the running exchange off and waits until it has ended (at most
    // two seconds); its done has run when this returns. Nothing when none runs.
    void CancelAndWait();

private:
    bool InTable() const { return curAcc_ >= 1 && curAcc_ <= c_.AccCount; }
    SeenIds& Seen();
    void SaveSeen();
    bool OnSessionThread() const { return thread_.joinable() && std::this_thread::get_id() == thread_.get_id(); }
    void ThreadLoop();
    // Ties a mailbox's reports to the session's.
    void Hook(Mailbox& box);
    // Ends the exchange numbered serial on the owner's thread (once).
    void Finish(uint64_t serial);
    static Ending EndingOf(const std::function<void()>& work);

    Commun& c_;
    int32_t curAcc_ = 1;
    MailAccount account_;
    // A mailbox for each protocol, made at the start and kept to the end: a
    // call-off from the owner's thread always finds the one in use alive.
    std::unique_ptr<Mailbox> pop3Box_, imapBox_;
    std::atomic<Mailbox*> box_{nullptr}; // the one the account in use speaks
    template <class F> void EachBox(F f)
    {
        f(*pop3Box_);
        f(*imapBox_);
    }
    Listing lastListing_;
    std::array<int32_t, kMaxAccounts + 1> prevCounts_{}; // indexed like Commun::Accounts
    AccountResults results_;
    SeenIds seen_;
    std::string stateFile_;
    std::vector<int32_t> passedBy_;
    bool stateLoaded_ = false;
    std::atomic<int> busy_{0};

    // The session thread and the one exchange handed to it.
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::function<void()> work_;       // waiting to run
    bool running_ = false;             // work is running on the thread
    Ending ending_;                    // how the last work ended
    uint64_t serial_ = 0;              // the exchange Start began last
    uint64_t finished_ = 0;            // the last exchange whose done has run
    std::function<void(const Ending&)> done_;
    bool started_ = false;             // an exchange from Start has not finished
    // Show's hand-over: the function waiting for the owner's thread.
    uint64_t shown_ = 0, showing_ = 0;
};

} // namespace pelko
