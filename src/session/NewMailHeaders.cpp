#include "session/NewMailHeaders.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"
#include "mime/WireMessage.h"

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

} // namespace

NewMailHeaders FetchNewMailHeaders(TWirePOP3& pop, int32_t number)
{
    NewMailHeaders h;
    TWireMessage m;
    m.ExtractAttachments = false; // header lines only: nothing to store
    if (pop.RetrieveHeaders(number, m)) {
        h.from = Named(m.From());
        h.subject = Named(m.Subject());
    }
    return h;
}

} // namespace pelko
