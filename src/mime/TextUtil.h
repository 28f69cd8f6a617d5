#pragma once
// Small text routines of the protocol stack.
#include <iosfwd>
#include <string>
#include <vector>

namespace pelko {

// Removes every character with a code from 0 to 32 at both ends.
std::string Trim(const std::string& s);

// Part before the first delimiter; s becomes the rest (empty when absent).
std::string SplitFirst(std::string& s, const std::string& delimiter);

// Text between the first start token and the following end token; empty when
// either is missing. ignoreCase compares in ASCII upper case.
std::string ExtractBetween(const std::string& s, const std::string& start, const std::string& end,
                           bool ignoreCase);

std::string ReplaceText(const std::string& s, const std::string& oldText, const std::string& newText,
                        bool replaceAll, bool ignoreCase);
int IndexOfText(const std::string& s, const std::vector<std::string>& table);
std::string JoinWithCommas(const std::vector<std::string>& items);
std::string UpperAscii(std::string s);
bool StartsWithIgnoreCase(const std::string& s, const std::string& prefix);

// The lines joined with "\n" (no line end after the last).
std::string JoinLines(const std::vector<std::string>& lines);

// Writes the bytes of s (nothing when empty) followed by CR LF.
void WriteStreamLine(std::ostream& out, const std::string& s);

// The error text for a line longer than maxLength bytes.
std::string LineTooLongText(size_t maxLength);

// The character of UTF-8 text at i, i moved past it; a byte that starts no
// valid character reads as U+FFFD and is passed alone.
char32_t NextUtf8(const std::string& text, size_t& i);
void AppendUtf8(std::string& out, char32_t c);

// Characters that change how text around them is shown without showing
// themselves: the direction marks, embeddings, overrides and isolates, the
// zero-width ones and the byte order mark.
bool IsFormatCharacter(char32_t c);

// The text with its format characters removed (invalid bytes as U+FFFD).
std::string WithoutFormatCharacters(const std::string& utf8);

// Text from outside as one line to show: format characters removed, line
// breaks (U+2028, U+2029 too) and other controls as blanks, at most maxChars
// characters, the last of them an ellipsis when the text was longer. Reads no
// further than that, so a huge text costs no more than a short one.
std::string ShownLine(const std::string& utf8, size_t maxChars);

} // namespace pelko
