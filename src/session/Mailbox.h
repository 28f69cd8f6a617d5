#pragma once
// Mailbox: a mailbox we check, whatever the protocol. It signs in to one
// account, lists what it holds (the number and unique id of each message,
// or only the count), fetches the headers or the whole of a message into
// the MIME reader's message, deletes, and closes. Every wait is bounded by
// the time-out and can be called off (Cancel).
#include "session/MailAccount.h"
#include "mime/WireMessage.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelko {

// A message as a listing names it.
struct ListedMessage {
    int32_t number = 0; // its number in this session with the server
    std::string uid;    // its unique id, the same in every session
};

// The most ids a listing keeps; a longer listing keeps none (the count
// still tells).
constexpr size_t kMaxListedIds = 1000000;

// What a listing found.
struct Listing {
    int32_t count = 0;
    // The listing fell short: the server refused it (the count is then what
    // a fall-back could tell, or 0). Empty when it was read to the end.
    std::string refusal;
    // Every message by number and id (when asked for and the server lists ids).
    std::vector<ListedMessage> ids;
    bool idsComplete = false; // ids is the mailbox, message for message
    // What the ids are valid with (IMAP's UIDVALIDITY), empty where they
    // hold for good (POP3). Ids listed with another validity say nothing
    // about these.
    std::string validity;
};

class Mailbox {
public:
    virtual ~Mailbox() = default;

    // Status texts of the exchange ("Connecting to ...", the server's words).
    std::function<void(const std::string& text)> OnStatus;
    // Called while data flows and while the server keeps us waiting.
    std::function<void()> OnWork;
    // The SHA-256 fingerprint of the certificate the user trusts for a server
    // (host, port), or empty.
    std::function<std::string(const std::string& host, uint16_t port)> TrustedCertificate;

    // The account the next sign-in goes to.
    virtual void SetAccount(const MailAccount& account) = 0;
    // Milliseconds a step may wait (0: for ever).
    virtual void SetTimeout(int ms) = 0;

    // Fetches the secret and signs in. On failure the connection is closed
    // and the failure raised.
    virtual void SignIn() = 0;
    virtual bool Connected() const = 0;
    // Lists the mailbox; keepIds keeps each message's number and id. A
    // listing that broke off (connection lost, time-out) is no count: the
    // connection is closed and the reason raised.
    virtual Listing List(bool keepIds) = 0;
    // The header block of message number; true when the server ended it
    // properly. Raises EWireResponseError when the server refuses.
    virtual bool FetchHeaders(int32_t number, TWireMessage& m) = 0;
    // The header blocks of several messages in one exchange, each handed to
    // each (with its index in numbers) as it is had: what a check names new
    // mail by, at one exchange's cost however many there are. Returns how
    // many were handed; 0 from a mailbox that fetches headers one message at
    // a time (FetchHeaders). Raises what the exchange raises.
    virtual size_t FetchSeveralHeaders(const std::vector<int32_t>& numbers,
                                       const std::function<void(size_t index, TWireMessage& m)>& each)
    {
        (void)numbers;
        (void)each;
        return 0;
    }
    // The whole message; false (m untouched) when the server refuses.
    virtual bool FetchMessage(int32_t number, TWireMessage& m) = 0;
    // Deletes message number: POP3 marks it (carried out at Close), IMAP
    // removes it at once; false when refused.
    virtual bool Delete(int32_t number) = 0;
    // The server's last reply, in its own words.
    virtual std::string LastReply() const = 0;

    // Ends the session politely (deletions are carried out). Never raises.
    virtual void Close() = 0;
    // Closes without a word (a connection out of step). Never raises.
    virtual void Abort() = 0;
    // Calls the running step off: it raises EWireCancelled within one waiting
    // slice, and so does every later step until ClearCancel.
    virtual void Cancel() = 0;
    virtual bool Cancelled() const = 0;
    virtual void ClearCancel() = 0;

    // While a Quiet lives, no status text is reported.
    class Quiet {
    public:
        explicit Quiet(Mailbox& box) : box_(box), was_(box.quiet_) { box_.quiet_ = true; }
        ~Quiet() { box_.quiet_ = was_; }
        Quiet(const Quiet&) = delete;
        Quiet& operator=(const Quiet&) = delete;

    private:
        Mailbox& box_;
        bool was_;
    };

protected:
    void Report(const std::string& text)
    {
        if (!quiet_ && OnStatus)
            OnStatus(text);
    }
    void Work()
    {
        if (OnWork)
            OnWork();
    }

private:
    bool quiet_ = false;
};

// A mailbox for account, speaking the protocol its server form names
// ("imaps://..." and "imap://..." IMAP, any other POP3).
std::unique_ptr<Mailbox> MakeMailbox(const MailAccount& account);
// True when box speaks the protocol account's server form names; otherwise
// the account needs a mailbox of its own from MakeMailbox.
bool MailboxSpeaks(const Mailbox& box, const MailAccount& account);

} // namespace pelko
