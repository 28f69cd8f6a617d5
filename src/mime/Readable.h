#pragma once
// What a person can read of a received message: encoded header words and
// transfer-encoded, charset-tagged bodies turned into UTF-8 text. The message
// model itself keeps the received bytes; only the display goes through here.
#include "mime/WireMessage.h"

#include <string>

namespace pelko {

// Converts bytes in the named charset to UTF-8. An empty, "us-ascii" or
// unknown charset, or bytes that are invalid in the named one, fall back to:
// valid UTF-8 as it is, anything else read as ISO-8859-1. Never fails.
std::string ToUtf8(const std::string& bytes, const std::string& charset);

// Decodes RFC 2047 encoded words (B and Q) of a header value; whitespace
// between adjacent encoded words is dropped. Unencoded 8-bit text is taken as
// UTF-8 when valid, else as ISO-8859-1. Control characters become blanks, so a
// value always stays on one line.
std::string DecodeHeaderWords(const std::string& value);

// "%XX" escapes to bytes (RFC 2231 parameter values); a "%" not followed
// by two hex digits stays as it is.
std::string PercentDecoded(const std::string& text);

// Quoted-printable lines to bytes: soft line breaks ("=" at the end) join
// lines, hard breaks become "\n", malformed "=" sequences stay as they are.
std::string DecodeQuotedPrintable(const TStrings& lines);

// The value of one parameter (e.g. "charset") of a Content-Type value, without
// quotes; empty when absent.
std::string HeaderParameter(const std::string& headerValue, const std::string& name);

// Readable text of an HTML document: tags removed (block tags end lines),
// script and style dropped, common entities decoded, blank runs collapsed.
std::string HtmlToText(const std::string& html);

// The readable lines of one text part, from its lines as received and its
// Content-Type and Content-Transfer-Encoding values.
TStrings ReadablePart(const TStrings& lines, const std::string& contentType, const std::string& transferEncoding);

// The body lines as the message window shows them: every text part in order
// (HTML parts as plain text), an empty line between parts.
TStrings ReadableBody(const TWireMessage& m);

} // namespace pelko
