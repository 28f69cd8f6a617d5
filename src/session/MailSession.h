#pragma once
// MailSession: the program's one connection to the mail servers, without
// any window. It owns the mailbox of the account in use and the message last
// fetched, turns over the accounts, checks them and keeps what each check
// found, lets one exchange run at a time and can call a running exchange
// off. The main window draws what it reports; the message window fetches
// through it.
#include "session/AccountCheck.h"
#include "session/AccountResults.h"
#include "session/MailAccount.h"
#include "session/Mailbox.h"
#include "session/SeenIds.h"
#include "config/Commun.h"
#include "mime/WireMessage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace pelko {

class MailSession {
public:
    explicit MailSession(Commun& c);
    ~MailSession();
    MailSession(const MailSession&) = delete;
    MailSession& operator=(const MailSession&) = delete;

    TWireMessage Msg;

    // Status texts of the connection, as the mailbox reports them.
    std::function<void(const std::string& text)> OnStatus;
    // Lets the owner's pending events run (called while a server keeps us
    // waiting and between the steps of a check).
    std::function<void()> OnPump;
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
    // Moves CurAcc on to the next account that is not inactive (with exactly
    // one account, that one whatever its state) and uses it. Each account is
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

    // ---- the exchanges ----
    Mailbox& Box() { return *box_; }
    bool Connected() const { return box_->Connected(); }
    // Signs in to the account in use. On failure the connection is closed
    // and the failure raised.
    void Login();
    // Quits the open connection (if any) and signs in again.
    void Relogin();
    // The number of messages waiting. A refusal of the listing counts 0; a
    // listing that broke off is no count: the connection is closed and the
    // reason raised.
    int32_t CountMessages();

    // True while an exchange runs. Only one runs at a time: callers refuse
    // to start while it is set.
    bool Busy() const { return busy_ > 0; }
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

private:
    bool InTable() const { return curAcc_ >= 1 && curAcc_ <= c_.AccCount; }
    SeenIds& Seen();

    Commun& c_;
    int32_t curAcc_ = 1;
    MailAccount account_;
    std::unique_ptr<Mailbox> box_;
    Listing lastListing_;
    std::array<int32_t, kMaxAccounts + 1> prevCounts_{}; // indexed like Commun::Accounts
    AccountResults results_;
    SeenIds seen_;
    std::string stateFile_;
    bool stateLoaded_ = false;
    int busy_ = 0;
};

} // namespace pelko
