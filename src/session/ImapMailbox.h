#pragma once
// The mailbox over IMAP: TWireIMAP underneath. A check opens the mailbox
// read-only (EXAMINE) and counts its unseen messages; they are the messages
// of this mailbox, numbered 1..count in UID order, each with its UID (and
// the mailbox's UIDVALIDITY) as unique id. Nothing read marks mail seen
// (BODY.PEEK); a deletion removes that message alone, at once.
#include "session/ClientMailbox.h"
#include "wire/Imap.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelko {

class ImapMailbox : public ClientMailbox<TWireIMAP> {
public:

    void SignIn() override;
    Listing List(bool keepIds) override;
    bool FetchHeaders(int32_t number, TWireMessage& m) override;
    size_t FetchSeveralHeaders(const std::vector<int32_t>& numbers,
                               const std::function<void(size_t index, TWireMessage& m)>& each) override;
    bool FetchMessage(int32_t number, TWireMessage& m) override;
    bool Delete(int32_t number) override;
    void Close() override;

    // The client itself (tests look at it).
    TWireIMAP& Client() { return client_; }

    // The unique id of a message listed with UID uid under UIDVALIDITY validity.
    static std::string ListedId(uint32_t validity, uint32_t uid);
    // The unseen messages found by a search (UIDs ascending), as a listing
    // names them: numbered 1, 2, ... in UID order, each by its ListedId.
    static std::vector<ListedMessage> ListedIds(uint32_t validity, const std::vector<uint32_t>& uids);

private:
    // Lists the mailbox unless it was listed in this session.
    void ListIfNotYet();
    // The UID of message number of the last listing; raises
    // EWireResponseError when there is no such message.
    uint32_t UidOf(int32_t number);

    // The last listing: the UIDs of the unseen messages, ascending, and the
    // UIDVALIDITY they hold with.
    std::vector<uint32_t> uids_;
    uint32_t validity_ = 0;
    bool listed_ = false; // uids_ holds a listing of this session
};

// Sets imap up for account as PrepareLogin does for POP3 (Pop3Mailbox.h):
// server, user, mechanism, and the secret itself in Password. A login that
// would send a bearer token in clear is refused before any token is fetched.
void PrepareImapLogin(TWireIMAP& imap, const MailAccount& account, const std::function<void()>& idle);

} // namespace pelko
