#pragma once
// The address a reply goes to, as a mailto: link the desktop's mail program
// reads the same way whatever the sender wrote.
#include "mime/WireMessage.h"

#include <string>

namespace pelko {

// "mailto:ADDRESS?subject=Re: SUBJECT" with both parts percent-encoded
// (only letters, digits, "-._~" and the address's "@" stay as they are), so
// that nothing of the header can add recipients or other fields. A subject
// that already starts with "Re:" gets no second one. Empty without address.
std::string ReplyUrl(const TWireMessage& m);

} // namespace pelko
