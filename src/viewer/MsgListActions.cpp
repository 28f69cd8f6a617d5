// What the message window does with the server: fetch and show a message,
// step to the previous or next one, delete, reply, save attachments.
#include "viewer/MsgList.h"

#include "config/IniLookup.h"
#include "viewer/NewMailMark.h"
#include "viewcore/MessageText.h"
#include "viewcore/ReplyAddress.h"
#include "mime/TextUtil.h"
#include "wire/WireErrors.h"

#include <QAction>

#include <algorithm>
#include <memory>
#include <utility>
#include <unistd.h>
#include <vector>

namespace pelko {

const std::string TMsgList::kNoMailHandlerText =
    "No program on this desktop answers e-mail (mailto:) links.\r"
    "Set your desktop's default e-mail program, or choose a program in Configure, Options, "
    "\"Run custom mail client\".";

const std::string TMsgList::kFetchAgainText =
    "The attachments of this message are no longer kept.\rShow the message again (Next or Previous) to save them.";

const std::string TMsgList::kDeleteStaleText =
    "The message shown is no longer the same on the server.\rNothing was deleted.";

std::string TMsgList::Identity(const TWireMessage& m)
{
    return m.From() + '\n' + m.Subject() + '\n' + m.GetHeader("Date") + '\n' + m.MsgID();
}

bool TMsgList::SameMessage(const TWireMessage& probe, const std::string& shown)
{
    if (Identity(probe) == shown)
        return true;
    // Some servers give only the sender, subject and date for a header
    // fetch (an IMAP account): then those must match.
    if (!probe.MsgID().empty())
        return false;
    const std::string withoutId = Identity(probe);
    return shown.compare(0, withoutId.size(), withoutId) == 0 && shown.find('\n', withoutId.size()) == std::string::npos;
}

void TMsgList::RunExchange(const std::string& note, std::function<void()> work, std::function<void()> then)
{
    // One exchange at a time on the one connection.
    if (session().Busy())
        return;
    ShowLoadingNote(note);
    const bool started = main_.HandExchange(std::move(work), [this, then = std::move(then)](bool completed) {
        HideLoadingNote();
        if (completed && then)
            then();
    });
    if (!started)
        HideLoadingNote();
}

void TMsgList::Fetch(int n)
{
    session().Show([this, n] { ShowLoadingNote("Loading message " + std::to_string(n) + "..."); });
    TWireMessage& msg = session().Msg;
    msg.Clear();
    if (main_.commun().settings.header_only) {
        msg.ExtractAttachments = false;
        session().Box().FetchHeaders(n, msg);
    } else {
        msg.ExtractAttachments = true;
        session().Box().FetchMessage(n, msg);
    }
}

void TMsgList::ShowFetched(int n)
{
    if (n <= 0) {
        setText(NoMoreMessagesText());
        CurMsg_ = 0;
        shownIdentity_.clear();
        sessionMayHaveChanged_ = false;
        return;
    }
    const TWireMessage& msg = session().Msg;
    const bool headerOnly = main_.commun().settings.header_only;
    setText(JoinLines(MessageTextLines(msg, headerOnly)));
    if (!headerOnly)
        Save->setEnabled(!msg.Attachments.empty());
    CurMsg_ = n;
    shownIdentity_ = Identity(msg);
    shownSubject_ = msg.Subject();
    sessionMayHaveChanged_ = false;
}

void TMsgList::ShowMessageNo(int n, std::function<void()> shown)
{
    if (session().Busy())
        return; // another exchange runs: not now
    if (n == 0) {
        ShowFetched(0);
        if (shown)
            shown();
        return;
    }
    RunExchange(
        "Loading message " + std::to_string(n) + "...", [this, n] { Fetch(n); },
        [this, n, shown = std::move(shown)] {
            ShowFetched(n);
            if (shown)
                shown();
        });
}

void TMsgList::Reconnect()
{
    // Until the next fetch, the number on screen belongs to the old session.
    sessionMayHaveChanged_ = true;
    session().Relogin(); // "Quit" first: the server carries out deletions now
    main_.CheckMail(false);
}

void TMsgList::ShowNewMail(const NewMailMark& mark, std::function<void()> shown)
{
    auto target = std::make_shared<int32_t>(0);
    RunExchange(
        "Loading message...",
        [this, mark, target] {
            const int32_t account = MarkedAccount(main_.commun(), mark);
            const bool elsewhere = account > 0 && account != session().CurAcc();
            if (elsewhere || !session().Connected()) {
                if (elsewhere)
                    session().UseAccount(account);
                Reconnect();
            }
            const int32_t count = main_.commun().MsgCount;
            *target = count <= 0 ? 0 : account > 0 ? MarkedNumber(mark, session().LastListing(), count) : 1;
            if (*target > 0)
                Fetch(*target);
        },
        [this, target, shown = std::move(shown)] {
            ShowFetched(*target);
            if (shown)
                shown();
        });
}

void TMsgList::NextClick()
{
    Step(+1);
}

void TMsgList::PrevClick()
{
    Step(-1);
}

void TMsgList::Step(int delta)
{
    auto target = std::make_shared<int32_t>(0);
    RunExchange(
        "Loading message...",
        [this, delta, target] {
            Reconnect();
            const int32_t count = main_.commun().MsgCount;
            if (count <= 0)
                return;
            // CurMsg changes only once the message is on screen. Past the last
            // message comes the first, before the first the last.
            const int32_t n = CurMsg_ + delta;
            *target = delta > 0 ? (n > count ? 1 : n) : (n > 0 ? n : count);
            Fetch(*target);
        },
        [this, target] { ShowFetched(*target); });
}

void TMsgList::DeleteClick()
{
    if (session().Busy())
        return;
    // A deletion cannot be undone: asked once, naming the message.
    const int32_t asked = CurMsg_;
    const std::string identity = shownIdentity_;
    if (CurMsg_ > 0 && !main_.platform().askYesNo(DeleteQuestionText(shownSubject_), this))
        return;
    // The question is a window of its own: what the answer is about must
    // still be on screen, and the connection free.
    if (session().Busy() || CurMsg_ != asked || shownIdentity_ != identity)
        return;
    auto target = std::make_shared<int32_t>(0);
    RunExchange(
        "Deleting message...",
        [this, target] {
            bool deleteIt = true;
            if (sessionMayHaveChanged_ && CurMsg_ > 0) {
                // Numbers are only valid within one session: make sure the
                // number still names the message the user is looking at.
                TWireMessage probe;
                probe.ExtractAttachments = false;
                try {
                    session().Box().FetchHeaders(CurMsg_, probe);
                    deleteIt = SameMessage(probe, shownIdentity_);
                } catch (const EWireException&) {
                    deleteIt = false;
                }
            }
            if (deleteIt) {
                // A refusal must not pass for a deletion: say so in the server's
                // words (with nothing shown, the refusal of message 0 is expected).
                if (!session().Box().Delete(CurMsg_) && CurMsg_ > 0) {
                    const std::string refusal = session().Box().LastReply();
                    session().Show([this, refusal] { main_.platform().messageBox(refusal, this); });
                }
            } else {
                session().Show([this] { main_.platform().messageBox(kDeleteStaleText, this); });
            }
            Reconnect();
            // The message that took the deleted one's place: the next one, or
            // the previous one when it was the last (a refused one stays). A
            // number that named another message says nothing: the first.
            const int32_t count = main_.commun().MsgCount;
            *target = count <= 0 ? 0 : CurMsg_ <= 0 || !deleteIt ? 1 : std::min(CurMsg_, count);
            if (*target > 0)
                Fetch(*target);
        },
        [this, target] { ShowFetched(*target); });
}

void TMsgList::ReplyClick()
{
    // On the "no more messages..." page Msg may still hold the message just
    // deleted: nobody to reply to. While a step runs, Msg is being filled.
    if (CurMsg_ <= 0 || session().Busy())
        return;
    const std::string url = ReplyUrl(session().Msg);
    if (url.empty())
        return;
    main_.Guarded([&] {
        if (!main_.platform().openUrl(url))
            main_.platform().messageBox(kNoMailHandlerText, this);
    });
}

bool TMsgList::AttachmentsAtHand()
{
    const std::vector<TAttachment>& list = session().Msg.Attachments;
    if (CurMsg_ <= 0 || list.empty())
        return false;
    for (const TAttachment& a : list)
        if (::access(a.StoredPathName.c_str(), R_OK) != 0)
            return false;
    return true;
}

void TMsgList::SaveClick()
{
    if (CurMsg_ <= 0 || session().Busy())
        return;
    if (!AttachmentsAtHand()) {
        // The files went with the session (a Disconnect clears them): the
        // text on screen is all that is left of the message.
        main_.platform().messageBox(kFetchAgainText, this);
        return;
    }
    main_.Guarded([this] {
        // A copy: the dialogs run event loops, and Msg belongs to the main window.
        const std::vector<TAttachment> attachments = session().Msg.Attachments;
        Platform& p = main_.platform();
        for (const TAttachment& a : attachments) {
            const auto target = p.saveFileDialog(SafeAttachmentName(a.FileName), kSaveFilter, {}, this);
            if (!target)
                continue; // cancelled: skip this attachment only
            if (!a.SaveToFile(*target))
                p.messageBox("Could not save the attachment to\r" + *target, this);
        }
    });
}

} // namespace pelko
