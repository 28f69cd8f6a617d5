#include "viewer/NewMailMark.h"

#include "session/SeenIds.h"

#include <utility>

namespace pelko {

NewMailMark FirstNewMail(const Commun& c, int32_t account, const CheckOutcome& got)
{
    NewMailMark mark;
    if (!got.any || account < 1 || account > c.AccCount)
        return mark;
    mark.accountKey = SeenIds::Key(c.Accounts[size_t(account)]);
    if (got.fresh.empty()) {
        mark.number = got.listing.count;
    } else {
        mark.number = got.fresh.front().number;
        mark.uid = got.fresh.front().uid;
    }
    return mark;
}

int32_t MarkedAccount(const Commun& c, const NewMailMark& mark)
{
    if (mark.accountKey.empty())
        return 0;
    for (int32_t i = 1; i <= c.AccCount; ++i)
        if (SeenIds::Key(c.Accounts[size_t(i)]) == mark.accountKey)
            return i;
    return 0;
}

int32_t MarkedNumber(const NewMailMark& mark, const Listing& listing, int32_t count)
{
    if (!mark.uid.empty() && listing.idsComplete) {
        for (const ListedMessage& listed : listing.ids)
            if (listed.uid == mark.uid)
                return listed.number;
        return 1;
    }
    return mark.number >= 1 && mark.number <= count ? mark.number : 1;
}

void NewMailMarks::Take(const Commun& c, int32_t account, const CheckOutcome& got)
{
    NewMailMark mark = FirstNewMail(c, account, got);
    if (!mark.accountKey.empty())
        marks_[account] = std::move(mark);
}

NewMailMark NewMailMarks::Of(const Commun& c, int32_t account) const
{
    const auto it = marks_.find(account);
    // The accounts may have been edited since: the mark must still be that account's.
    if (it == marks_.end() || MarkedAccount(c, it->second) != account)
        return {};
    return it->second;
}

int32_t NewMailMarks::OpeningNumber(const Commun& c, int32_t account, const Listing& listing,
                                    int32_t count) const
{
    const NewMailMark mark = Of(c, account);
    return mark.accountKey.empty() ? 1 : MarkedNumber(mark, listing, count);
}

} // namespace pelko
