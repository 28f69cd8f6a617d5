// Which mailbox an account gets: the protocol its server form names.
#include "session/ImapMailbox.h"
#include "session/Pop3Mailbox.h"
#include "wire/HostSpec.h"

namespace pelko {

std::unique_ptr<Mailbox> MakeMailbox(const MailAccount& account)
{
    std::unique_ptr<Mailbox> box;
    if (ParseHostSpec(account.host).protocol == HostProtocol::Imap)
        box = std::make_unique<ImapMailbox>();
    else
        box = std::make_unique<Pop3Mailbox>();
    box->SetAccount(account);
    return box;
}

bool MailboxSpeaks(const Mailbox& box, const MailAccount& account)
{
    const bool imap = ParseHostSpec(account.host).protocol == HostProtocol::Imap;
    return imap ? dynamic_cast<const ImapMailbox*>(&box) != nullptr : dynamic_cast<const Pop3Mailbox*>(&box) != nullptr;
}

} // namespace pelko
