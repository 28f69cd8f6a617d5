#include "session/MailSession.h"

#include "session/LoginSecret.h"
#include "wire/WireErrors.h"

#include <exception>

namespace pelko {

MailSession::MailSession(Commun& c) : c_(c)
{
    prevCounts_.fill(kCountAtStart);
    POP.OnStatus = [this](TWire*, const std::string& text) {
        if (OnStatus)
            OnStatus(text);
    };
    const auto pump = [this] {
        if (OnPump)
            OnPump();
    };
    POP.OnWork = [pump](TWire*, int32_t, int32_t) { pump(); };
    // While a slow server keeps the socket waiting, the owner keeps painting
    // and takes clicks (a Disconnect among them calls the exchange off).
    POP.OnIdle = pump;
    POP.KeepUniqueIds = true;
}

MailSession::~MailSession()
{
    // Nothing may reach the owner, which is going away around us.
    POP.OnStatus = nullptr;
    POP.OnWork = nullptr;
    POP.OnIdle = nullptr;
}

std::string MailSession::AccountName() const
{
    if (curAcc_ >= 1 && curAcc_ <= c_.AccCount)
        return c_.Accounts[size_t(curAcc_)].acc_name;
    return {};
}

std::string MailSession::AccountLine() const
{
    return "Account: " + AccountName() + " (" + POP.Host + ")";
}

bool MailSession::MoveToNextAccount()
{
    int next = curAcc_;
    for (int tries = 0; tries < c_.AccCount; ++tries) {
        next = next + 1 > c_.AccCount ? 1 : next + 1;
        if (c_.AccCount == 1 || !c_.Accounts[size_t(next)].inactive) {
            curAcc_ = next;
            const TPOPAcc& acc = c_.Accounts[size_t(next)];
            POP.Host = acc.host_name;
            POP.UserID = acc.user_name;
            POP.Password = acc.password;
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

MailSession::News MailSession::TakeListing(int32_t count)
{
    News news;
    const bool startRule = PrevCount() != 0;
    const bool rose = TakeCount(count);
    if (!POP.UniqueIdsComplete || curAcc_ < 1 || curAcc_ > c_.AccCount) {
        news.any = rose;
        return news;
    }
    if (!stateLoaded_) {
        // Read at the first listing, not at start: the window comes first.
        seen_.Load(stateFile_);
        stateLoaded_ = true;
    }
    news.messages = seen_.Update(SeenIds::Key(c_.Accounts[size_t(curAcc_)]), POP.UniqueIds, !startRule);
    news.any = !news.messages.empty();
    if (!stateFile_.empty() && seen_.Changed()) {
        try {
            seen_.Save(stateFile_);
        } catch (const std::exception&) {
            // Only a restart's first check loses by it: it announces nothing.
        }
    }
    return news;
}

void MailSession::UseStateFile(const std::string& path)
{
    if (path == stateFile_)
        return; // kept as read: ids a failed save left in memory stay
    stateFile_ = path;
    stateLoaded_ = false;
}

void MailSession::Login()
{
    // POP keeps the account's password line; the secret itself is in it only
    // for the login.
    struct PutBack {
        TWirePOP3& pop;
        std::string field;
        ~PutBack() { pop.Password = field; }
    } putBack{POP, POP.Password};
    PrepareLogin(POP, AccountName(), [this] {
        if (OnPump)
            OnPump();
        if (POP.Cancelled())
            throw EWireCancelled();
    });
    POP.Connect();
}

void MailSession::Relogin()
{
    if (POP.Connected())
        Close(); // "Quit": the server carries out deletions now
    Login();
}

int32_t MailSession::CountMessages()
{
    const int32_t counted = POP.CheckMessages();
    // A listing that broke off (connection lost, time-out, endless line) is
    // no count of the mailbox: the connection is out of step with the server
    // now. A refusal ("-ERR") still counts as a check that found nothing.
    if (!POP.CheckError.empty() && POP.ResultCode == kReplyOk) {
        const std::string why = POP.CheckError;
        Close();
        throw EWireException(why);
    }
    return counted;
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
            s.POP.ClearCancel();
            if (s.OnExchangesEnded)
                s.OnExchangesEnded();
        }
    } count(*this);
    try {
        body();
    } catch (const EWireCancelled&) {
        POP.Abort();
        throw;
    } catch (const std::exception&) {
        if (POP.Connected())
            POP.Abort();
        throw;
    }
}

void MailSession::Cancel()
{
    if (busy_ > 0)
        POP.Cancel();
}

void MailSession::Close()
{
    try {
        POP.Disconnect();
    } catch (const std::exception&) {
        // A failing "Quit" has closed the socket all the same.
    }
}

} // namespace pelko
