#pragma once
// Pelko runs the token commands of Accounts.ini and the mail client of
// Pelko.ini, and replaces files in its folder: whoever can change them could
// act as the user running Pelko. So, as ssh does with its own files, a folder
// or file is used only when it and every folder above it belong to that user
// or to root and no other user can write to them (a folder above may be one
// that everybody writes to when it is sticky, as /tmp is). A group of which
// the user is the only member counts as the user's own.
#include <stdexcept>
#include <string>

namespace pelko {

// A folder or file of Pelko's that another user controls.
class UntrustedFile : public std::runtime_error {
public:
    explicit UntrustedFile(const std::string& text) : std::runtime_error(text) {}
};

// What path is to Pelko.
enum class TrustFor {
    Use,      // a folder or file Pelko reads and writes
    CreateIn, // a folder Pelko is about to make folders in (it may be sticky)
};

// Why path may not be used, e.g. "Not using /srv/x/: other users can write
// to /srv/x (mode 0777)"; empty when it may, or when it does not exist.
std::string UntrustedReason(const std::string& path, TrustFor what = TrustFor::Use);

// Checks the configuration folder (ending in "/") and its Pelko.ini and
// Accounts.ini. Throws UntrustedFile with UntrustedReason's text.
void CheckOwnFiles(const std::string& programDir);

} // namespace pelko
