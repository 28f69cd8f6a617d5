#include "cli/CheckCommands.h"

#include "session/AccountCheck.h"
#include "session/Mailbox.h"
#include "session/SeenIds.h"
#include "cli/AccountsReader.h"
#include "cli/JsonText.h"
#include "cli/TerminalText.h"
#include "cli/TrustCommand.h"
#include "config/FileLocations.h"
#include "viewcore/MessageText.h"
#include "wire/TlsTransport.h"
#include "mime/Readable.h"
#include "mime/StoredMessage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <unistd.h>
#include <vector>

namespace pelko::cli {

namespace {

// The account's mailbox, with pelko-check's time-out and the certificates
// trusted for it.
std::unique_ptr<Mailbox> Open(const TPOPAcc& acc, const CheckOptions& o)
{
    std::unique_ptr<Mailbox> box = MakeMailbox(AccountOf(acc));
    box->SetTimeout(o.timeoutMs);
    box->TrustedCertificate = PinLookup(o.dir, acc.acc_name);
    return box;
}

// Quits without letting a failing "Quit" spoil a result already obtained.
void QuietDisconnect(Mailbox& box)
{
    if (box.Connected())
        box.Close();
}

struct NewMessage {
    int32_t number = 0;
    std::string from, subject;
};

struct CheckResult {
    std::string name;
    bool ok = false;
    int count = 0;
    std::string error;
    std::string refusedCertificate; // its fingerprint, when the certificate was refused
    bool knowsNew = false; // the server listed ids, so what is new can be told
    size_t newCount = 0;
    std::vector<NewMessage> newMessages; // the first kNamedNew of them
};

// Senders and subjects are fetched for this many new messages at most.
constexpr size_t kNamedNew = 50;

// With seen, also tells which messages were not listed at the previous
// check (none while the mailbox is not on record yet) and records the
// listing. The first kNamedNew new messages are named by sender and
// subject; after a fetch that failed the rest are listed by number only.
CheckResult CheckOne(const TPOPAcc& acc, const CheckOptions& o, SeenIds* seen)
{
    CheckResult r;
    r.name = acc.acc_name;
    const std::unique_ptr<Mailbox> box = Open(acc, o);
    CheckRules rules;
    rules.seen = seen;
    rules.key = SeenIds::Key(acc);
    rules.nameUpTo = kNamedNew;
    try {
        const CheckOutcome got = CheckMailbox(*box, rules);
        r.count = got.listing.count;
        r.ok = got.listing.refusal.empty();
        r.error = got.listing.refusal;
        if (r.ok && got.idsKnown) {
            r.knowsNew = true;
            r.newCount = got.fresh.size();
            for (size_t k = 0; k < got.fresh.size() && k < kNamedNew; ++k) {
                NewMessage n;
                n.number = got.fresh[k].number;
                if (k < got.named.size()) {
                    n.from = got.named[k].from;
                    n.subject = got.named[k].subject;
                }
                r.newMessages.push_back(n);
            }
        }
    } catch (const EWireTlsError& e) {
        r.error = e.what();
        r.refusedCertificate = e.Refused.fingerprint;
    } catch (const std::exception& e) {
        r.ok = false;
        r.error = e.what();
    }
    QuietDisconnect(*box);
    return r;
}

// The name an attachment is stored under: a name that would be hidden
// (".bashrc", ".ssh") is made visible, so nothing lands unseen, and one that
// a command would take for an option ("-rf") gets the same prefix.
std::string VisibleName(const std::string& name)
{
    return !name.empty() && (name[0] == '.' || name[0] == '-') ? "_" + name : name;
}

int Show(const TWireMessage& m, const CheckOptions& o, std::ostream& out, std::ostream& err)
{
    out << TerminalText(BuildMessageText(m, o.headersOnly), Lines::Kept);
    out.flush();
    if (o.saveDir.empty())
        return kExitOk;
    int status = kExitOk;
    const std::string dir = WithSlash(o.saveDir);
    for (const TAttachment& a : m.Attachments) {
        if (a.Kept)
            continue; // decoded straight into the directory
        // A new file every time: an existing file (or link) of that name is
        // left alone and the next free "name-2.ext", "name-3.ext" is taken.
        const std::string name = VisibleName(SafeAttachmentName(a.FileName));
        if (a.SaveAsNewFile(dir, name).empty()) {
            err << "pelko-check: cannot save " << TerminalText(dir + name) << ": " << std::strerror(errno) << "\n";
            status = kExitFailed;
        }
    }
    return status;
}

} // namespace

std::string DefaultDir()
{
    return LocateFiles(ExecutableDirectory(), ProcessEnvironment()).programDir;
}

int ReadChosenAccounts(const CheckOptions& o, const std::string& dir, AccountTable& accounts,
                       std::vector<int>& chosen, std::ostream& err)
{
    int count = 0;
    if (!ReadAccountsOrSay(dir, accounts, count, err))
        return kExitFailed;
    bool named = false;
    if (!ChooseAccounts(accounts, count, o.account, dir, chosen, named, err))
        return named ? kExitUsage : kExitFailed;
    return kExitOk;
}

int RunCheck(const CheckOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string dir = WithSlash(o.dir);
    AccountTable accounts{};
    std::vector<int> chosen;
    if (const int status = ReadChosenAccounts(o, dir, accounts, chosen, err); status != kExitOk)
        return status;

    // What was seen is kept beside Accounts.ini, shared with the window.
    SeenIds seen;
    const std::string statePath = dir + SeenIds::kFileName;
    if (o.json)
        seen.Load(statePath);
    std::vector<CheckResult> results;
    for (int i : chosen)
        results.push_back(CheckOne(accounts[size_t(i)], o, o.json ? &seen : nullptr));

    bool allOk = true;
    for (const CheckResult& r : results) {
        allOk = allOk && r.ok;
        if (!r.refusedCertificate.empty())
            err << TrustHint(r.name, r.refusedCertificate);
    }
    if (o.json) {
        out << "{\"accounts\":[";
        for (size_t k = 0; k < results.size(); ++k) {
            const CheckResult& r = results[k];
            out << (k ? "," : "") << "{\"name\":" << JsonString(r.name);
            if (r.ok) {
                out << ",\"count\":" << r.count;
                if (r.knowsNew) {
                    out << ",\"new\":" << r.newCount << ",\"new_messages\":[";
                    for (size_t n = 0; n < r.newMessages.size(); ++n) {
                        const NewMessage& m = r.newMessages[n];
                        out << (n ? "," : "") << "{\"number\":" << m.number << ",\"from\":" << JsonString(m.from)
                            << ",\"subject\":" << JsonString(m.subject) << "}";
                    }
                    out << "]";
                }
            } else
                out << ",\"error\":" << JsonString(OneLine(r.error));
            out << "}";
        }
        out << "],\"ok\":" << (allOk ? "true" : "false") << "}\n";
    } else {
        for (const CheckResult& r : results) {
            if (r.ok)
                out << TerminalText(r.name) << ": " << r.count << "\n";
            else
                out << TerminalText(r.name) << ": error: " << TerminalText(OneLine(r.error)) << "\n";
        }
    }
    // Recorded once reported: a report that did not get out leaves the
    // messages new for the next run.
    out.flush();
    if (o.json && !o.noState && seen.Changed() && out) {
        try {
            seen.Save(statePath);
        } catch (const std::exception& e) {
            err << "pelko-check: " << TerminalText(e.what()) << "\n";
        }
    }
    return allOk ? kExitOk : kExitFailed;
}

int RunDump(const CheckOptions& o, std::ostream& out, std::ostream& err)
{
    const std::string dir = WithSlash(o.dir);
    AccountTable accounts{};
    int count = 0;
    if (!ReadAccountsOrSay(dir, accounts, count, err))
        return kExitFailed;
    int i = kNoAccount;
    if (!o.account.empty()) {
        i = FindAccountOrSay(accounts, count, o.account, dir, err);
        if (i == kNoAccount)
            return kExitUsage;
    } else {
        i = FirstActiveAccount(accounts, count);
        if (i == kNoAccount) {
            err << "pelko-check: no active account in " << TerminalText(dir) << "Accounts.ini\n";
            return kExitFailed;
        }
    }
    const TPOPAcc& acc = accounts[size_t(i)];
    const std::unique_ptr<Mailbox> box = Open(acc, o);
    TWireMessage m;
    int status = kExitOk;
    try {
        box->SignIn();
        bool fetched;
        if (o.headersOnly) {
            m.ExtractAttachments = false;
            fetched = box->FetchHeaders(o.dumpNumber, m);
        } else {
            m.ExtractAttachments = true;
            fetched = box->FetchMessage(o.dumpNumber, m);
        }
        if (!fetched && !o.headersOnly) {
            out << TerminalText(acc.acc_name) << ": error: " << TerminalText(OneLine(box->LastReply())) << "\n";
            status = kExitFailed;
        } else {
            status = Show(m, o, out, err);
        }
    } catch (const std::exception& e) {
        out << TerminalText(acc.acc_name) << ": error: " << TerminalText(OneLine(e.what())) << "\n";
        status = kExitFailed;
        if (const auto* tls = dynamic_cast<const EWireTlsError*>(&e); tls && !tls->Refused.fingerprint.empty())
            err << TrustHint(acc.acc_name, tls->Refused.fingerprint);
    }
    QuietDisconnect(*box);
    return status;
}

int RunParse(const CheckOptions& o, std::ostream& out, std::ostream& err)
{
    // The file is read a block at a time: a message of any size takes the
    // same memory (its text is kept up to the message's limit, attachments
    // go to files).
    TWireMessage m;
    m.ExtractAttachments = !o.headersOnly;
    if (!o.saveDir.empty()) {
        // Each attachment is decoded straight into its new file in the save
        // directory (no temporary file, no copy); one that cannot be made
        // there is tried again, and reported, by Show.
        const std::string dir = WithSlash(o.saveDir);
        m.OpenAttachmentFile = [dir](const TAttachment& a, std::string& path) {
            return CreateNewFile(dir, VisibleName(SafeAttachmentName(a.FileName)), path);
        };
    }
    auto fail = [&](const std::string& text) {
        for (const TAttachment& a : m.Attachments)
            if (a.Kept)
                ::unlink(a.StoredPathName.c_str()); // a message that cannot be read saves nothing
        err << "pelko-check: " << TerminalText(text) << "\n";
        return kExitFailed;
    };
    try {
        ParseStoredFile(o.parseFile, m);
    } catch (const EStoredFileRead& e) {
        return fail("cannot read " + o.parseFile + ": " + e.what());
    } catch (const std::exception& e) {
        return fail(o.parseFile + ": " + OneLine(e.what()));
    }
    return Show(m, o, out, err);
}

} // namespace pelko::cli
