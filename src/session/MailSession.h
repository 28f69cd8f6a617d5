#pragma once
// MailSession: the program's one connection to the mail servers, without
// any window. It owns the POP3 client and the message last fetched, turns
// over the accounts, keeps each account's previous count, lets one exchange
// run at a time and can call a running exchange off. The main window draws
// what it reports; the message window fetches through it.
#include "session/SeenIds.h"
#include "config/Commun.h"
#include "wire/Pop3.h"
#include "mime/WireMessage.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace pelko {

class MailSession {
public:
    explicit MailSession(Commun& c);
    ~MailSession();
    MailSession(const MailSession&) = delete;
    MailSession& operator=(const MailSession&) = delete;

    TWirePOP3 POP;
    TWireMessage Msg;

    // Status texts of the connection, as the client reports them.
    std::function<void(const std::string& text)> OnStatus;
    // Lets the owner's pending events run (called while a server keeps us
    // waiting and between the steps of a check).
    std::function<void()> OnPump;
    // The last exchange has ended (normally, by a failure or cancelled).
    std::function<void()> OnExchangesEnded;

    // ---- accounts ----
    // 1-based index into the account table of the account POP is set up for.
    int32_t CurAcc() const { return curAcc_; }
    void SetCurAcc(int32_t index) { curAcc_ = index; }
    std::string AccountName() const;
    // "Account: NAME (HOST)": the line that tells a message box's reader
    // which mailbox failed.
    std::string AccountLine() const;
    // Moves CurAcc on to the next account that is not inactive (with exactly
    // one account, that one whatever its state) and copies its host and
    // credentials into POP. Each account is looked at once: false, and
    // nothing changed, when none can be taken.
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
    // account's previous one (new mail).
    bool TakeCount(int32_t count);

    // What a check found new.
    struct News {
        bool any = false;
        // The new messages by number and id, when the server lists ids
        // (empty when only the count could tell).
        std::vector<TWirePOP3::ListedId> messages;
    };
    // Takes the count the listing just gave for the current account and
    // says what is new: the messages whose ids were not listed at the
    // account's previous check. A mailbox not on record yet holds nothing
    // new at start and everything after a Connect click (its previous count
    // is then 0). Without ids (the STAT fall-back) the count must have risen.
    News TakeListing(int32_t count);
    // Where the ids seen are kept between runs (read at the first listing
    // that needs them).
    void UseStateFile(const std::string& path);

    // ---- the exchanges ----
    // Logs in to the account POP is set up for. On failure the connection is
    // closed and the failure raised.
    void Login();
    // Quits the open connection (if any) and logs in again.
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
    Commun& c_;
    int32_t curAcc_ = 1;
    std::array<int32_t, kMaxAccounts + 1> prevCounts_{}; // indexed like Commun::Accounts
    SeenIds seen_;
    std::string stateFile_;
    bool stateLoaded_ = false;
    int busy_ = 0;
};

} // namespace pelko
