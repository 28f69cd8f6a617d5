#pragma once
// The sender and subject a new-mail notice names a message by.
#include "wire/Pop3.h"

#include <cstdint>
#include <string>

namespace pelko {

struct NewMailHeaders {
    std::string from, subject; // decoded for display: one line of at most 1000 characters
};

// Fetches the header lines of message number over the open connection and
// decodes its sender and subject; both empty when the server refuses them.
// Raises what the exchange raises.
NewMailHeaders FetchNewMailHeaders(TWirePOP3& pop, int32_t number);

} // namespace pelko
