#include "session/NewMailHeaders.h"

#include "mime/Readable.h"
#include "mime/WireMessage.h"

namespace pelko {

NewMailHeaders FetchNewMailHeaders(TWirePOP3& pop, int32_t number)
{
    NewMailHeaders h;
    TWireMessage m;
    m.ExtractAttachments = false; // header lines only: nothing to store
    if (pop.RetrieveHeaders(number, m)) {
        h.from = DecodeHeaderWords(m.From());
        h.subject = DecodeHeaderWords(m.Subject());
    }
    return h;
}

} // namespace pelko
