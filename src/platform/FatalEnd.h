#pragma once
// A problem that makes the program unusable (missing settings file, broken
// skin). Raised by the loaders, which know no windows; the first handler
// that owns a Platform turns it into Platform::fatalEnd, so nothing of the
// window's close handling runs.
#include <stdexcept>
#include <string>

namespace pelko {

class FatalEnd : public std::runtime_error {
public:
    explicit FatalEnd(const std::string& text) : std::runtime_error(text) {}
};

} // namespace pelko
