#pragma once
// The sender and subject a new-mail notice names a message by.
#include "session/Mailbox.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelko {

struct NewMailHeaders {
    std::string from, subject; // decoded for display: one line of at most 1000 characters
};

// Fetches the header lines of message number over the open mailbox and
// decodes its sender and subject; both empty when the server refuses them.
// Raises what the exchange raises.
NewMailHeaders FetchNewMailHeaders(Mailbox& box, int32_t number);

// The same for several messages in turn, one entry per message fetched. A
// message the server refuses (gone meanwhile) gets empty ones; the first
// fetch that fails otherwise (a time-out, a lost connection, a reply out of
// step) ends the fetching: a server that did not answer one would keep the
// next waiting as long. So the result may be shorter than numbers: it names
// what could be had. Only a cancellation is raised.
std::vector<NewMailHeaders> FetchNewMailHeaders(Mailbox& box, const std::vector<int32_t>& numbers);

} // namespace pelko
