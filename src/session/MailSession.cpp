#include "session/MailSession.h"

#include "wire/WireErrors.h"

#include <exception>

namespace pelko {

MailSession::MailSession(Commun& c) : c_(c), box_(MakeMailbox(account_))
{
    prevCounts_.fill(kCountAtStart);
    box_->OnStatus = [this](const std::string& text) {
        if (OnStatus)
            OnStatus(text);
    };
    // While a slow server keeps the socket waiting, the owner keeps painting
    // and takes clicks (a Disconnect among them calls the exchange off).
    box_->OnWork = [this] {
        if (OnPump)
            OnPump();
    };
    box_->TrustedCertificate = [this](const std::string& host, uint16_t port) {
        return TrustedCertificate ? TrustedCertificate(host, port) : std::string();
    };
}

MailSession::~MailSession()
{
    // Nothing may reach the owner, which is going away around us.
    box_->OnStatus = nullptr;
    box_->OnWork = nullptr;
}

void MailSession::UseAccount(int32_t index)
{
    curAcc_ = index;
    account_ = InTable() ? AccountOf(c_.Accounts[size_t(index)]) : MailAccount{};
    box_->SetAccount(account_);
}

std::string MailSession::AccountName() const
{
    if (InTable())
        return c_.Accounts[size_t(curAcc_)].acc_name;
    return {};
}

std::string MailSession::AccountLine() const
{
    return "Account: " + AccountName() + " (" + account_.host + ")";
}

bool MailSession::MoveToNextAccount()
{
    int next = curAcc_;
    for (int tries = 0; tries < c_.AccCount; ++tries) {
        next = next + 1 > c_.AccCount ? 1 : next + 1;
        if (c_.AccCount == 1 || !c_.Accounts[size_t(next)].inactive) {
            UseAccount(next);
            return true;
        }
    }
    return false;
}

int32_t MailSession::PrevCountOf(int32_t index) const
{
    if (index < 0 || size_t(index) >= prevCounts_.size())
        return kCountAtStart;
    return prevCounts_[size_t(index)];
}

void MailSession::ResetPrevCounts(int32_t value)
{
    prevCounts_.fill(value);
}

bool MailSession::TakeCount(int32_t count)
{
    const bool more = count > PrevCount();
    if (curAcc_ >= 0 && size_t(curAcc_) < prevCounts_.size())
        prevCounts_[size_t(curAcc_)] = count;
    return more;
}

void MailSession::UseStateFile(const std::string& path)
{
    if (path == stateFile_)
        return; // kept as read: ids a failed save left in memory stay
    stateFile_ = path;
    stateLoaded_ = false;
}

SeenIds& MailSession::Seen()
{
    if (!stateLoaded_) {
        // Read at the first check, not at start: the window comes first.
        seen_.Load(stateFile_);
        stateLoaded_ = true;
    }
    return seen_;
}

CheckOutcome MailSession::CheckAccount(size_t nameUpTo, const std::function<void(const CheckOutcome&)>& counted)
{
    CheckRules rules;
    rules.previousCount = PrevCount();
    rules.unknownIsNew = PrevCount() == 0;
    rules.keepIds = true;
    rules.nameUpTo = nameUpTo;
    if (InTable()) {
        rules.seen = &Seen();
        rules.key = SeenIds::Key(c_.Accounts[size_t(curAcc_)]);
    }
    return CheckMailbox(*box_, rules, [&](const CheckOutcome& got) {
        lastListing_ = got.listing;
        c_.MsgCount = got.listing.count;
        TakeCount(got.listing.count);
        if (!stateFile_.empty() && seen_.Changed()) {
            try {
                seen_.Save(stateFile_);
            } catch (const std::exception&) {
                // Only a restart's first check loses by it: it announces nothing.
            }
        }
        AccountResult r;
        r.account = curAcc_;
        r.name = AccountName();
        r.count = got.listing.count;
        r.fresh = got.fresh;
        results_.Record(std::move(r), c_.FirstActiveAcc);
        if (counted)
            counted(got);
    });
}

void MailSession::RecordFailure(const std::string& why)
{
    AccountResult r;
    r.account = curAcc_;
    r.name = AccountName();
    r.failed = true;
    r.error = why;
    results_.Record(std::move(r), c_.FirstActiveAcc);
}

void MailSession::Login()
{
    box_->SignIn();
}

void MailSession::Relogin()
{
    if (Connected())
        Close(); // "Quit": the server carries out deletions now
    Login();
}

int32_t MailSession::CountMessages()
{
    lastListing_ = box_->List(true);
    return lastListing_.count;
}

void MailSession::Run(const std::function<void()>& body)
{
    struct Count {
        MailSession& s;
        explicit Count(MailSession& session) : s(session) { ++s.busy_; }
        ~Count()
        {
            if (--s.busy_ > 0)
                return;
            // A cancel that came too late to stop anything ends with the exchange.
            s.box_->ClearCancel();
            if (s.OnExchangesEnded)
                s.OnExchangesEnded();
        }
    } count(*this);
    try {
        body();
    } catch (const EWireCancelled&) {
        box_->Abort();
        throw;
    } catch (const std::exception&) {
        if (box_->Connected())
            box_->Abort();
        throw;
    }
}

void MailSession::Cancel()
{
    if (busy_ > 0)
        box_->Cancel();
}

void MailSession::Close()
{
    box_->Close();
}

} // namespace pelko
