#include "session/AccountResults.h"

#include <algorithm>
#include <utility>

namespace pelko {

std::string ResultLine(const AccountResult& r)
{
    return r.name + " : " + (r.failed ? "error: " + r.error : std::to_string(r.count));
}

void AccountResults::Record(AccountResult r, int32_t firstActive)
{
    if (restart_) {
        pass_.clear();
    } else if (r.account == firstActive) {
        // A new pass. A failure stays until its account is checked again:
        // one that waits out a pause, or for the user after a refused
        // sign-in, is passed by, and its line says so meanwhile.
        pass_.erase(std::remove_if(pass_.begin(), pass_.end(), [](const AccountResult& k) { return !k.failed; }),
                    pass_.end());
    }
    restart_ = false;
    Keep(std::move(r));
}

void AccountResults::Keep(AccountResult r)
{
    r.when = std::chrono::system_clock::now();
    // Another check of the same account in the pass (a Connect click, the
    // message window's recount) brings its result up to date; the lines go
    // in the accounts' order, the order of a pass.
    const auto same = std::find_if(pass_.begin(), pass_.end(),
                                   [&r](const AccountResult& k) { return k.account >= r.account; });
    if (same != pass_.end() && same->account == r.account)
        *same = std::move(r);
    else
        pass_.insert(same, std::move(r));
}

const AccountResult* AccountResults::Of(int32_t account) const
{
    for (const AccountResult& r : pass_)
        if (r.account == account)
            return &r;
    return nullptr;
}

std::string AccountResults::Lines(const std::string& separator) const
{
    std::string lines;
    for (const AccountResult& r : pass_)
        lines += (lines.empty() ? "" : separator) + ResultLine(r);
    return lines;
}

} // namespace pelko
