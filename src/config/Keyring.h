#pragma once
// Passwords in the desktop keyring (the freedesktop Secret Service), one
// per account, found by the account's name and host.
#include <optional>
#include <string>

namespace pelko::keyring {

// What the user is told when there is no keyring to use.
extern const char* const kNotAvailableText;

// The password kept for the account; nullopt with why set when there is
// none or the keyring cannot be reached.
std::optional<std::string> Lookup(const std::string& account, const std::string& host, std::string* why);
// Keeps password for the account (replacing what was kept); false with why
// set when it could not.
bool Store(const std::string& account, const std::string& host, const std::string& password, std::string* why);
// Forgets the account's password; false when nothing was removed.
bool Remove(const std::string& account, const std::string& host);

} // namespace pelko::keyring
