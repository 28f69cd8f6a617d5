#include "session/NewMailHeaders.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"
#include "mime/WireMessage.h"
#include "wire/WireErrors.h"

#include <exception>

namespace pelko {

namespace {

// A message is named in a line: a header of megabytes is cut long before
// it is decoded, and what is shown stays short.
constexpr size_t kHeaderRead = 64 * 1024;
constexpr size_t kHeaderShown = 1000;

std::string Named(const std::string& value)
{
    return ShownLine(DecodeHeaderWords(value.substr(0, kHeaderRead)), kHeaderShown);
}

// The headers of one message; false when the connection cannot be trusted
// for another command (the header was not followed by the end line).
bool Fetch(Mailbox& box, int32_t number, NewMailHeaders& h)
{
    TWireMessage m;
    m.ExtractAttachments = false; // header lines only: nothing to store
    if (!box.FetchHeaders(number, m))
        return false;
    h.from = Named(m.From());
    h.subject = Named(m.Subject());
    return true;
}

} // namespace

NewMailHeaders FetchNewMailHeaders(Mailbox& box, int32_t number)
{
    NewMailHeaders h;
    Fetch(box, number, h);
    return h;
}

std::vector<NewMailHeaders> FetchNewMailHeaders(Mailbox& box, const std::vector<int32_t>& numbers)
{
    std::vector<NewMailHeaders> named;
    if (numbers.empty())
        return named;
    try {
        // All at once where the mailbox can.
        named.resize(numbers.size());
        if (box.FetchSeveralHeaders(numbers, [&named](size_t i, TWireMessage& m) {
                named[i].from = Named(m.From());
                named[i].subject = Named(m.Subject());
            }) > 0)
            return named;
    } catch (const EWireCancelled&) {
        throw;
    } catch (const std::exception&) {
        return {};
    }
    named.clear();
    for (int32_t number : numbers) {
        NewMailHeaders h;
        try {
            if (!Fetch(box, number, h))
                break;
        } catch (const EWireResponseError&) {
            // Refused: named without sender and subject.
        } catch (const std::exception&) {
            break;
        }
        named.push_back(h);
    }
    return named;
}

} // namespace pelko
