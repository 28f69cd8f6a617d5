#pragma once
// Mailbox names and strings as IMAP commands carry them.
#include <string>

namespace pelko {

// A mailbox name (UTF-8) in IMAP's modified UTF-7 (RFC 3501 5.1.3):
// printable ASCII stays as it is ("&" becomes "&-"), anything else goes as
// "&" + modified Base64 of its UTF-16 + "-". An octet that is not part of
// valid UTF-8 is taken as U+FFFD.
std::string EncodeMailboxName(const std::string& utf8);

// text as a quoted string: "\"" and "\\" escaped. text must hold 7-bit
// characters without CR, LF and NUL (what a quoted string can carry).
std::string ImapQuoted(const std::string& text);
// True when text can go as a quoted string.
bool QuotableImapString(const std::string& text);

} // namespace pelko
