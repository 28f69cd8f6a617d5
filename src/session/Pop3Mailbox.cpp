#include "session/Pop3Mailbox.h"

#include "session/ClientLogin.h"
#include "session/LoginSecret.h"
#include "wire/WireErrors.h"

#include <exception>
#include <utility>

namespace pelko {

static_assert(TWirePOP3::kMaxKeptIds == kMaxListedIds, "a listing keeps as many ids as the client does");

namespace {

// The POP3 login for each mechanism an account may name.
constexpr std::pair<AuthMechanism, Pop3Login> kLogins[] = {
    {AuthMechanism::Automatic, Pop3Login::Automatic},
    {AuthMechanism::Plain, Pop3Login::Plain},
    {AuthMechanism::XOAuth2, Pop3Login::XOAuth2},
    {AuthMechanism::OAuthBearer, Pop3Login::OAuthBearer},
};

} // namespace

void PrepareLogin(TWirePOP3& pop, const MailAccount& account, const std::function<void()>& idle)
{
    PrepareClientLogin(pop, account, kLogins, idle);
}

void Pop3Mailbox::SignIn()
{
    // The secret is in the client only for the login.
    struct Forget {
        TWirePOP3& pop;
        ~Forget() { pop.Password.clear(); }
    } forget{client_};
    PrepareLogin(client_, account_, [this] {
        Work();
        if (client_.Cancelled())
            throw EWireCancelled();
    });
    client_.Connect();
}

Listing Pop3Mailbox::List(bool keepIds)
{
    client_.KeepUniqueIds = keepIds;
    Listing l;
    l.count = client_.CheckMessages();
    // A listing that broke off (connection lost, time-out, endless line) is
    // no count of the mailbox: the connection is out of step with the server
    // now. A refusal ("-ERR") still counts as a check that found nothing.
    if (!client_.CheckError.empty() && client_.ResultCode == kReplyOk) {
        const std::string why = client_.CheckError;
        Close();
        throw EWireException(why);
    }
    l.refusal = client_.CheckError;
    l.idsComplete = client_.UniqueIdsComplete;
    l.ids.reserve(client_.UniqueIds.size());
    for (const TWirePOP3::ListedId& listed : client_.UniqueIds)
        l.ids.push_back({listed.number, listed.uid});
    return l;
}

void Pop3Mailbox::Close()
{
    try {
        client_.Disconnect();
    } catch (const std::exception&) {
        // A failing "Quit" has closed the socket all the same.
    }
}

} // namespace pelko
