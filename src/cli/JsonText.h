#pragma once
#include <string>

namespace pelko::cli {

// A JSON string literal (quotes included) of text; bytes that are not UTF-8
// are read as ISO-8859-1.
std::string JsonString(const std::string& text);

// An error message on one line: each CR LF, CR or LF becomes one blank.
std::string OneLine(const std::string& text);

} // namespace pelko::cli
