#pragma once
// Which message the message window opens at after new mail was announced:
// the first of the new messages, found again by its unique id in a later
// listing (numbers change when messages go).
#include "session/MailSession.h"
#include "config/Commun.h"

#include <cstdint>
#include <map>
#include <string>

namespace pelko {

struct NewMailMark {
    std::string accountKey; // the account's SeenIds::Key; empty: no mark
    int32_t number = 0;     // the message's number in the listing that announced it
    std::string uid;        // its unique id; empty when the server lists none
};

// The first new message of account (an index into c.Accounts) as a check
// found it. Without ids the count is all that tells: the newest message.
NewMailMark FirstNewMail(const Commun& c, int32_t account, const CheckOutcome& got);

// The index of the account the mark belongs to, 0 when no account has that
// key (any more).
int32_t MarkedAccount(const Commun& c, const NewMailMark& mark);

// The number the marked message has in the latest listing of count
// messages: looked up by its id in a listing that holds every id, else its
// number as announced; 1 when it is no longer there.
int32_t MarkedNumber(const NewMailMark& mark, const Listing& listing, int32_t count);

// The first new message of each account, from the latest check that found
// new mail there until the user has looked (Clear).
class NewMailMarks {
public:
    // Keeps what a check of account found new (nothing when it found none).
    void Take(const Commun& c, int32_t account, const CheckOutcome& got);
    // The mark of account (an empty one when there is none).
    NewMailMark Of(const Commun& c, int32_t account) const;
    // The message to open the window at for account, whose latest listing
    // is listing (count messages): the first new one, else 1.
    int32_t OpeningNumber(const Commun& c, int32_t account, const Listing& listing, int32_t count) const;
    void Clear() { marks_.clear(); }

private:
    std::map<int32_t, NewMailMark> marks_;
};

} // namespace pelko
