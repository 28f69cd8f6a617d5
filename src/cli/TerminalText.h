#pragma once
// Text from outside (a server's words, a sender, a subject, a file name) as
// pelko-check prints it to a terminal.
#include <string>

namespace pelko::cli {

// Control characters (ESC, BEL, CR, C1, DEL; line feeds and tabs too unless
// lines are kept) are shown escaped ("\x1b", "\u009b"), as are the format
// characters that reorder or hide text (U+202E, U+2066, U+200B, ...) and
// U+2028, U+2029; bytes that are no UTF-8 become U+FFFD. A backslash stays
// as it is.
enum class Lines { Joined, Kept };
std::string TerminalText(const std::string& text, Lines lines = Lines::Joined);

} // namespace pelko::cli
