#pragma once
// MailWatch: new mail told the moment the server has it. Every IMAP account
// whose server offers IDLE gets a thread of its own with one connection of
// its own: it signs in, opens the mailbox read-only (EXAMINE), and waits in
// IDLE for the server's news. Any line from the server is a sign of life;
// IDLE is renewed (DONE, IDLE) every `renewal`, and a connection that gives
// no answer to the renewal within `timeout`, or that ends (BYE, a reset), is
// opened again after a pause that grows with every failure up to
// `longestPause`. What arrived meanwhile is told then, once: each account's
// unseen UIDs are compared with the ones on record (SeenIds, keyed with the
// mailbox's UIDVALIDITY), as a check compares them. Nothing marks mail read.
//
// Accounts whose server offers no IDLE (and POP3 accounts, which are never
// watched) are left to the owner's timer: MailWatch says so (NoIdle) and
// ends that account's thread.
//
// The owner is told through its own post function: every event is handed
// to post as a closure that the owner runs on its own thread (the window
// queues it onto its event loop, pelko-check onto its main loop). So the
// handlers run on the owner's thread only, never after Stop.
#include "session/MailAccount.h"
#include "session/Mailbox.h"
#include "session/SeenIds.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelko {

// A new message as the watch tells it: decoded for display, one line each.
struct WatchedMessage {
    uint32_t uid = 0;
    std::string from, subject, date;
};

// "New mail": messages not told before arrived.
struct WatchNews {
    size_t account = 0;     // the account's index as given to Start
    int32_t unseen = 0;     // unseen messages in the mailbox now
    size_t newCount = 0;    // new messages (messages names the newest of them)
    std::vector<WatchedMessage> messages;
};

// "Count changed": the number of unseen messages, after every comparison
// that changed it (news included). listing is the mailbox's unseen messages
// as a check lists them (UIDs valid with validity), for the owner to record
// in its SeenIds, so that its next check, or a restart, does not tell them
// again: seen.Update(key, validity, *listing, false). A WatchNews is always
// followed by the WatchCount of the same comparison.
struct WatchCount {
    size_t account = 0;
    int32_t unseen = 0;
    std::string key;      // SeenIds::Key of the account
    std::string validity; // the mailbox's UIDVALIDITY
    std::shared_ptr<const std::vector<ListedMessage>> listing;
};

enum class WatchState {
    Connecting, // signing in (first time or again)
    Watching,   // in IDLE: news arrives as it comes
    NoIdle,     // the server offers no IDLE: check this account on the timer
    Retrying,   // the connection failed (text); opened again in pauseMs
    Failed,     // given up (a refused sign-in or certificate, a host we
                // cannot use): text says why; Start again after a change
};

struct WatchStateEvent {
    size_t account = 0;
    WatchState state = WatchState::Connecting;
    std::string text;  // the failure, for Retrying and Failed
    int pauseMs = 0;   // Retrying: when the next try comes
    std::string refusedCertificate; // Failed on a certificate: its SHA-256 fingerprint
};

struct WatchSettings {
    std::chrono::milliseconds renewal = std::chrono::minutes(10); // IDLE renewed this often
    std::chrono::milliseconds timeout = std::chrono::seconds(60); // each step's time-out
    std::chrono::milliseconds firstPause = std::chrono::seconds(2);   // before the first try again
    std::chrono::milliseconds longestPause = std::chrono::minutes(5); // pauses double up to this
    size_t nameUpTo = 10; // new messages named by sender and subject
};

// An account to watch.
struct WatchedAccount {
    size_t index = 0; // given back in every event
    MailAccount account;
    // The SHA-256 fingerprint of the certificate the user trusts for a
    // server (host, port), or empty. Called on the account's thread: it may
    // only read what no other thread changes (a file, a copy).
    std::function<std::string(const std::string& host, uint16_t port)> trustedCertificate;
};

class AccountWatch;
struct WatchSink;

// True for the accounts a MailWatch may watch (an IMAP server form).
bool Watchable(const MailAccount& account);

class MailWatch {
public:
    using Post = std::function<void(std::function<void()>)>;

    // post may be called from any thread and must run what it is given on
    // the owner's thread, in the order given.
    explicit MailWatch(Post post, WatchSettings settings = {});
    // Stops (as Stop).
    ~MailWatch();
    MailWatch(const MailWatch&) = delete;
    MailWatch& operator=(const MailWatch&) = delete;

    // The handlers, run on the owner's thread. Set them before Start.
    std::function<void(const WatchNews&)> OnNewMail;
    std::function<void(const WatchCount&)> OnCount;
    std::function<void(const WatchStateEvent&)> OnState;

    // Starts one thread for each Watchable account (the others are
    // reported NoIdle at once). seen is what the owner has on record: the
    // first comparison of each account is made with it, so mail that
    // arrived while nothing watched is told once. Watches already running
    // are stopped first. Call it on the owner's thread.
    void Start(const std::vector<WatchedAccount>& accounts, const SeenIds& seen);
    // Ends every thread (each ends within one waiting slice: a connection
    // is closed without a word, a pause cut short) and waits for them;
    // events not yet run are dropped. Call it on the owner's thread.
    void Stop();
    // Accounts being watched (threads running).
    size_t Watching() const;

private:
    Post post_;
    WatchSettings settings_;
    std::shared_ptr<WatchSink> sink_;
    std::vector<std::unique_ptr<AccountWatch>> watches_;
};

} // namespace pelko
