#pragma once
// What the checks of the current pass over the accounts found, one result
// per account in the accounts' order: the count or the error, the new
// messages, and when. A failure stays into the next pass until its account
// is checked again. The main window draws its count's tooltip and the tray
// icon's from here.
#include "session/Mailbox.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace pelko {

struct AccountResult {
    int32_t account = 0; // index into the account table
    std::string name;    // the account's name when it was checked
    bool failed = false;
    int32_t count = 0;  // messages found (when not failed)
    std::string error;  // why the check failed
    std::vector<ListedMessage> fresh; // the new messages it found, when the server lists ids
    std::chrono::system_clock::time_point when;
};

// "NAME : N", or "NAME : error: TEXT" for a failed check.
std::string ResultLine(const AccountResult& r);

class AccountResults {
public:
    // Keeps r (stamped with the time now) in place of the account's earlier
    // result. A result of firstActive (the first active account) starts a
    // new pass (failures stay), as does the first after Restart (nothing
    // stays).
    void Record(AccountResult r, int32_t firstActive);
    // Brings an account's line up to date without starting a pass (news
    // from a watching connection).
    void Keep(AccountResult r);
    // The results stay until the next one comes, which starts a new pass
    // (the accounts may have been numbered anew).
    void Restart() { restart_ = true; }
    const std::vector<AccountResult>& Pass() const { return pass_; }
    // The result of account in this pass; nullptr when it has none.
    const AccountResult* Of(int32_t account) const;
    // The lines of the pass, ResultLine each, joined by separator.
    std::string Lines(const std::string& separator) const;

private:
    std::vector<AccountResult> pass_;
    bool restart_ = false;
};

} // namespace pelko
