#include "session/ImapMailbox.h"

#include "session/ClientLogin.h"
#include "session/LoginSecret.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace pelko {

static_assert(TWireIMAP::kMaxUids <= kMaxListedIds, "a listing keeps every UID a search may name");

namespace {

constexpr std::pair<AuthMechanism, ImapLogin> kLogins[] = {
    {AuthMechanism::Automatic, ImapLogin::Automatic},
    {AuthMechanism::Plain, ImapLogin::Plain},
    {AuthMechanism::XOAuth2, ImapLogin::XOAuth2},
    {AuthMechanism::OAuthBearer, ImapLogin::OAuthBearer},
};

const std::string kNoSuchMessageText = "No such message.";
const std::string kRenumberedText = "The mailbox was renumbered by the server meanwhile: nothing was deleted.";

} // namespace

std::string ImapMailbox::ListedId(uint32_t validity, uint32_t uid)
{
    return std::to_string(validity) + "." + std::to_string(uid);
}

std::vector<ListedMessage> ImapMailbox::ListedIds(uint32_t validity, const std::vector<uint32_t>& uids)
{
    std::vector<ListedMessage> listed;
    listed.reserve(uids.size());
    for (size_t i = 0; i < uids.size(); ++i)
        listed.push_back({int32_t(i + 1), ListedId(validity, uids[i])});
    return listed;
}

void PrepareImapLogin(TWireIMAP& imap, const MailAccount& account, const std::function<void()>& idle)
{
    PrepareClientLogin(imap, account, kLogins, idle);
}

void ImapMailbox::SignIn()
{
    struct Forget {
        TWireIMAP& imap;
        ~Forget() { imap.Password.clear(); }
    } forget{client_};
    uids_.clear();
    listed_ = false;
    PrepareImapLogin(client_, account_, [this] {
        Work();
        if (client_.Cancelled())
            throw EWireCancelled();
    });
    client_.Connect();
}

Listing ImapMailbox::List(bool keepIds)
{
    uids_.clear();
    listed_ = false;
    Listing l;
    ImapStatus status;
    try {
        // Read-only: nothing this check does changes the mailbox.
        const ImapSelected opened = client_.Examine();
        try {
            status = client_.Status();
        } catch (const EWireResponseError&) {
            // Some servers refuse STATUS on the mailbox opened: the search
            // still counts.
        }
        uids_ = client_.UidSearch("UNSEEN");
        validity_ = opened.uidValidity ? opened.uidValidity : status.uidValidity;
    } catch (const EWireResponseError& e) {
        // Refused (no such mailbox, a search too large): the count STATUS
        // gave, if any, and no ids, in the server's words.
        uids_.clear();
        l.count = int32_t(std::min<uint32_t>(status.unseen, uint32_t(kMaxListedIds)));
        l.refusal = e.what();
        return l;
    } catch (const EWireCancelled&) {
        throw;
    } catch (const std::exception&) {
        // Broken off: no count, and a connection out of step.
        Abort();
        throw;
    }
    listed_ = true;
    l.count = int32_t(uids_.size());
    l.validity = std::to_string(validity_);
    if (keepIds) {
        l.ids = ListedIds(validity_, uids_);
        l.idsComplete = true;
    }
    return l;
}

void ImapMailbox::ListIfNotYet()
{
    // Numbers name the unseen messages of a listing: a fetch before any
    // listing in this session (pelko-check --dump) lists first.
    if (!listed_)
        List(false);
}

uint32_t ImapMailbox::UidOf(int32_t number)
{
    ListIfNotYet();
    if (number < 1 || size_t(number) > uids_.size())
        throw EWireResponseError(kNoSuchMessageText);
    return uids_[size_t(number) - 1];
}

bool ImapMailbox::FetchHeaders(int32_t number, TWireMessage& m)
{
    m.Clear();
    const std::vector<ImapHeaderFields> got = client_.FetchHeaderFields({UidOf(number)});
    if (got.empty())
        throw EWireResponseError(kNoSuchMessageText); // gone meanwhile
    m.Headers = got.front().headers;
    return true;
}

size_t ImapMailbox::FetchSeveralHeaders(const std::vector<int32_t>& numbers,
                                        const std::function<void(size_t index, TWireMessage& m)>& each)
{
    std::vector<uint32_t> uids;
    for (int32_t number : numbers)
        uids.push_back(UidOf(number));
    // One command for all of them, whatever their number.
    const std::vector<ImapHeaderFields> got = client_.FetchHeaderFields(uids);
    for (size_t i = 0; i < uids.size(); ++i) {
        TWireMessage m;
        m.ExtractAttachments = false;
        for (const ImapHeaderFields& fields : got)
            if (fields.uid == uids[i])
                m.Headers = fields.headers;
        each(i, m);
    }
    return uids.size();
}

bool ImapMailbox::FetchMessage(int32_t number, TWireMessage& m)
{
    ListIfNotYet();
    if (number < 1 || size_t(number) > uids_.size())
        return false;
    return client_.FetchMessage(UidOf(number), m);
}

bool ImapMailbox::Delete(int32_t number)
{
    ListIfNotYet();
    if (number < 1 || size_t(number) > uids_.size()) {
        client_.ResultText = kNoSuchMessageText;
        return false;
    }
    // Deleting needs the mailbox opened read-write; the UIDs must still be
    // the ones listed.
    const ImapSelected opened = client_.Select();
    if (opened.uidValidity != validity_) {
        uids_.clear();
        client_.ResultText = kRenumberedText;
        return false;
    }
    return client_.DeleteMessage(UidOf(number));
}

void ImapMailbox::Close()
{
    uids_.clear();
    listed_ = false;
    client_.Disconnect(); // never raises
}

} // namespace pelko
