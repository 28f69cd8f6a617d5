#pragma once
// Passwords in the desktop keyring (the freedesktop Secret Service), one
// per account, found by the account's name and host.
#include <functional>
#include <optional>
#include <string>

namespace pelko::keyring {

// What the user is told when there is no keyring to use (no session bus,
// or no Secret Service on it).
extern const char* const kNotAvailableText;
// ... and when the keyring stays locked (its unlock prompt was dismissed).
extern const char* const kLockedText;
// How long a lookup waits when the caller names no time.
constexpr int kDefaultWaitMs = 60000;

// The password kept for the account; nullopt with why set when there is
// none or the keyring cannot be reached, stays locked or does not answer
// within timeoutMs (an unlock prompt counts against that time). idle runs
// between short waits and may raise to give up; the lookup is then called
// off (an open unlock prompt is dismissed).
std::optional<std::string> Lookup(const std::string& account, const std::string& host, int timeoutMs,
                                  const std::function<void()>& idle, std::string* why);
// The same, waiting at most kDefaultWaitMs without idle.
std::optional<std::string> Lookup(const std::string& account, const std::string& host, std::string* why);
// Keeps password for the account (replacing what was kept); false with why
// set when it could not, also when the keyring did not answer within
// timeoutMs (an unlock prompt counts against that time; it is then called
// off). idle as for Lookup.
bool Store(const std::string& account, const std::string& host, const std::string& password, std::string* why,
           int timeoutMs = kDefaultWaitMs, const std::function<void()>& idle = {});
// Forgets the account's password; false when nothing was removed or no
// answer came within timeoutMs. idle as for Lookup.
bool Remove(const std::string& account, const std::string& host, int timeoutMs = kDefaultWaitMs,
            const std::function<void()>& idle = {});

} // namespace pelko::keyring
