#pragma once
// A message kept in a file (CR LF or LF line ends, no dot-stuffing, no end
// line), read through the same parser as a fetched one.
#include "wire/WireMessage.h"

#include <string>

namespace pelko {

// The bytes a POP3 server would send for the file: CR LF line ends, a "."
// doubled at the start of a line, the end line ".".
std::string StoredMessageToWire(const std::string& fileBytes);

// Parses fileBytes into m (attachments go to temporary files as usual).
// Raises what the parser raises ("Boundary error", file errors).
void ParseStoredMessage(const std::string& fileBytes, TWireMessage& m);

} // namespace pelko
