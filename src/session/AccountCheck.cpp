#include "session/AccountCheck.h"

namespace pelko {

CheckOutcome CheckMailbox(Mailbox& box, const CheckRules& rules,
                          const std::function<void(const CheckOutcome&)>& counted)
{
    if (!box.Connected())
        box.SignIn();
    CheckOutcome got;
    got.listing = box.List(rules.keepIds || rules.seen);
    const Listing& l = got.listing;
    if (rules.seen && l.idsComplete) {
        got.idsKnown = true;
        got.fresh = rules.seen->Update(rules.key, l.validity, l.ids, rules.unknownIsNew);
        got.any = !got.fresh.empty();
    } else {
        got.any = rules.previousCount >= 0 && l.count > rules.previousCount;
    }
    if (counted)
        counted(got);
    if (!got.any || rules.nameUpTo == 0)
        return got;
    std::vector<int32_t> numbers;
    if (got.idsKnown) {
        for (size_t i = 0; i < got.fresh.size() && i < rules.nameUpTo; ++i)
            numbers.push_back(got.fresh[i].number);
    } else {
        numbers.push_back(l.count); // only the count tells: the newest message
    }
    // The names go into a notice or a report, not onto the status line.
    Mailbox::Quiet quiet(box);
    got.named = FetchNewMailHeaders(box, numbers);
    return got;
}

} // namespace pelko
