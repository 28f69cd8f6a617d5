#pragma once
// The configuration dialog asking the desktop keyring. The keyring may take
// its time (an unlock prompt, a service that does not answer): meanwhile the
// dialog goes on painting, and after a moment a small note says what it
// waits for, with a Cancel button that calls the question off.
#include <optional>
#include <string>

class QWidget;

namespace pelko {

// What a cancelled wait says (why).
extern const char* const kKeyringWaitCancelled;

std::optional<std::string> LookupWaiting(QWidget* owner, const std::string& account, const std::string& host,
                                         std::string* why);
bool StoreWaiting(QWidget* owner, const std::string& account, const std::string& host, const std::string& password,
                  std::string* why);
bool RemoveWaiting(QWidget* owner, const std::string& account, const std::string& host);

} // namespace pelko
