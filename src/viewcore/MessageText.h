#pragma once
// The text of the message window (also printed by pelko-check): header lines,
// the attachment count, a rule and the readable body.
#include "mime/WireMessage.h"

#include <string>

namespace pelko {

// "From : ...", "Subj : ...", "Date : ...", "File : n" (whole message only),
// 26 underscores, an empty line, then the body lines (whole message only).
TStrings MessageTextLines(const TWireMessage& m, bool headerOnly);

// The same lines joined with "\n", ending with "\n".
std::string BuildMessageText(const TWireMessage& m, bool headerOnly);

// What the window shows when there is no message.
std::string NoMoreMessagesText();

// The question asked before a message is deleted from the server, naming
// its subject (the header's value, decoded, on one line, at most
// kQuestionSubjectChars characters).
std::string DeleteQuestionText(const std::string& subjectHeader);
constexpr size_t kQuestionSubjectChars = 120;

// The Date line's value: the header's date and time in local time
// ("Tue, 5 Jan 1999 10:00:00"), or the header text itself when it cannot be read.
std::string DateLineText(const std::string& dateHeader);

// "Ddd, d Mmm yyyy hh:mm:ss" of a moment, shifted by utcOffsetSeconds.
std::string FormatDateTime(long long epochSeconds, long long utcOffsetSeconds);

// A file name from a message made safe to create in a chosen directory: its
// encoded words decoded, only the last path component, no NUL or control
// characters; "attachment" when nothing usable is left.
std::string SafeAttachmentName(const std::string& fileName);

} // namespace pelko
