#pragma once
// One check of one account: sign in (unless the mailbox is signed in
// already), list, tell what is new, and name up to N of the new messages by
// sender and subject. The main window and pelko-check both check this way.
#include "session/Mailbox.h"
#include "session/NewMailHeaders.h"
#include "session/SeenIds.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelko {

struct CheckRules {
    // The ids seen at earlier checks: new is what the listing holds and
    // they do not (the listing is then recorded there). Without them, or
    // without ids from the server, only the count can tell.
    SeenIds* seen = nullptr;
    std::string key;           // the account's key in seen (SeenIds::Key)
    bool unknownIsNew = false; // a mailbox not on record yet is new as a whole
    // Without ids: new mail when the count rose above this (negative: not told).
    int32_t previousCount = -1;
    bool keepIds = false; // keep the listing's ids even without seen
    size_t nameUpTo = 0;  // new messages named by sender and subject
};

struct CheckOutcome {
    Listing listing;
    bool idsKnown = false; // the listing was compared id for id
    bool any = false;      // new mail
    std::vector<ListedMessage> fresh; // the new messages, when idsKnown
    // The first new ones (without ids: the newest message), as far as they
    // could be had; empty when nothing is named.
    std::vector<NewMailHeaders> named;
};

// counted runs once the listing is compared, before anything is named.
// Raises what the sign-in and the listing raise (and a cancellation);
// naming that fails only names fewer.
CheckOutcome CheckMailbox(Mailbox& box, const CheckRules& rules,
                          const std::function<void(const CheckOutcome&)>& counted = {});

} // namespace pelko
