#include "session/MailSession.h"

#include "session/ImapMailbox.h"
#include "session/Pop3Mailbox.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>

namespace pelko {

MailSession::MailSession(Commun& c)
    : c_(c), pop3Box_(std::make_unique<Pop3Mailbox>()), imapBox_(std::make_unique<ImapMailbox>())
{
    prevCounts_.fill(kCountAtStart);
    box_ = pop3Box_.get();
    EachBox([this](Mailbox& box) { Hook(box); });
}

void MailSession::Hook(Mailbox& box)
{
    box.OnStatus = [this](const std::string& text) {
        if (!OnSessionThread()) {
            if (OnStatus)
                OnStatus(AccountName(), text);
            return;
        }
        // Told, not waited for: the exchange goes on while the owner draws.
        // A text that arrives after its exchange was called off is dropped.
        const uint64_t serial = serial_;
        PostToOwner([this, serial, name = AccountName(), text] {
            if (serial == serial_ && finished_ != serial && OnStatus)
                OnStatus(name, text);
        });
    };
    // The exchange's thread waits for a server (a hook for tests).
    box.OnWork = [this] {
        if (OnWait)
            OnWait();
    };
    box.TrustedCertificate = [this](const std::string& host, uint16_t port) {
        return TrustedCertificate ? TrustedCertificate(host, port) : std::string();
    };
}

MailSession::~MailSession()
{
    if (thread_.joinable()) {
        EachBox([](Mailbox& box) { box.Cancel(); });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    // Nothing may reach the owner, which is going away around us.
    EachBox([](Mailbox& box) {
        box.OnStatus = nullptr;
        box.OnWork = nullptr;
    });
}

MailSession::Ending MailSession::EndingOf(const std::function<void()>& work)
{
    Ending e;
    try {
        work();
    } catch (const EWireCancelled&) {
        e.kind = Ending::Kind::Cancelled;
    } catch (const EWireException& failed) {
        e.kind = Ending::Kind::Failed;
        e.why = failed.what();
        e.raised = std::current_exception();
        e.signInRefused = dynamic_cast<const EWireSignInRefused*>(&failed) != nullptr;
    } catch (...) {
        e.kind = Ending::Kind::Failed;
        e.error = std::current_exception();
    }
    return e;
}

bool MailSession::Start(std::function<void()> work, std::function<void(const Ending&)> done)
{
    if (Busy())
        return false;
    auto exchange = [this, work = std::move(work)] { Run(work); };
    if (!PostToOwner) {
        const Ending e = EndingOf(exchange);
        if (done)
            done(e);
        return true;
    }
    started_ = true;
    done_ = std::move(done);
    EachBox([](Mailbox& box) { box.ClearCancel(); }); // a call-off that came after the last exchange had ended
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++serial_;
        work_ = std::move(exchange);
        running_ = true;
    }
    if (!thread_.joinable())
        thread_ = std::thread([this] { ThreadLoop(); });
    wake_.notify_all();
    return true;
}

void MailSession::ThreadLoop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || work_; });
        if (stopping_)
            return;
        std::function<void()> work = std::move(work_);
        work_ = nullptr;
        const uint64_t serial = serial_;
        lock.unlock();
        Ending e = EndingOf(work);
        lock.lock();
        ending_ = std::move(e);
        running_ = false;
        wake_.notify_all();
        PostToOwner([this, serial] { Finish(serial); });
    }
}

void MailSession::Finish(uint64_t serial)
{
    Ending e;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (serial != serial_ || finished_ == serial || running_)
            return;
        finished_ = serial;
        e = ending_;
    }
    std::function<void(const Ending&)> done = std::move(done_);
    done_ = nullptr;
    started_ = false;
    if (done)
        done(e);
}

void MailSession::Show(const std::function<void()>& fn)
{
    if (!OnSessionThread()) {
        fn();
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    const uint64_t turn = ++shown_;
    const uint64_t serial = serial_;
    auto failure = std::make_shared<std::exception_ptr>();
    PostToOwner([this, turn, serial, fn, failure] {
        {
            std::lock_guard<std::mutex> held(mutex_);
            // The exchange stopped waiting for it (called off): too late.
            if (serial != serial_ || finished_ == serial || showing_ >= turn)
                return;
        }
        try {
            fn();
        } catch (...) {
            *failure = std::current_exception(); // raised in the exchange
        }
        std::lock_guard<std::mutex> held(mutex_);
        showing_ = turn;
        wake_.notify_all();
    });
    wake_.wait(lock, [&] { return showing_ >= turn || box_.load()->Cancelled() || stopping_; });
    if (showing_ < turn) {
        showing_ = turn; // the owner will not run it now
        throw EWireCancelled();
    }
    if (*failure)
        std::rethrow_exception(*failure);
}

void MailSession::CancelAndWait()
{
    if (!started_) {
        Cancel();
        return;
    }
    const uint64_t serial = serial_;
    EachBox([](Mailbox& box) { box.Cancel(); });
    {
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.notify_all(); // a Show waiting for us gives up
        if (!wake_.wait_for(lock, std::chrono::seconds(2), [this] { return !running_; }))
            return; // still unwinding: its done follows from the owner's queue
    }
    Finish(serial);
}

void MailSession::UseAccount(int32_t index)
{
    curAcc_ = index;
    account_ = InTable() ? AccountOf(c_.Accounts[size_t(index)]) : MailAccount{};
    Mailbox& speaking = MailboxSpeaks(*pop3Box_, account_) ? *pop3Box_ : *imapBox_;
    if (&speaking != box_.load()) {
        box_.load()->Close(); // another protocol: the other mailbox takes over
        box_ = &speaking;
    }
    speaking.SetAccount(account_);
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
        const bool passed = std::find(passedBy_.begin(), passedBy_.end(), next) != passedBy_.end();
        if (c_.AccCount == 1 || (!c_.Accounts[size_t(next)].inactive && !passed)) {
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
    return CheckMailbox(*box_.load(), rules, [&](const CheckOutcome& got) {
        lastListing_ = got.listing;
        c_.MsgCount = got.listing.count;
        TakeCount(got.listing.count);
        SaveSeen();
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

void MailSession::RecordWatched(int32_t index, const WatchCount& count)
{
    if (count.listing) {
        Seen().Update(count.key, count.validity, *count.listing, false);
        SaveSeen();
    }
    if (index == curAcc_)
        c_.MsgCount = count.unseen;
    if (index >= 0 && size_t(index) < prevCounts_.size())
        prevCounts_[size_t(index)] = count.unseen;
    AccountResult r;
    r.account = index;
    r.name = index >= 1 && index <= c_.AccCount ? c_.Accounts[size_t(index)].acc_name : std::string();
    r.count = count.unseen;
    results_.Keep(std::move(r));
}

void MailSession::SaveSeen()
{
    if (stateFile_.empty() || !seen_.Changed())
        return;
    try {
        seen_.Save(stateFile_);
    } catch (const std::exception&) {
        // Only a restart's first check loses by it: it announces nothing.
    }
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
    box_.load()->SignIn();
}

void MailSession::Relogin()
{
    if (Connected())
        Close(); // "Quit": the server carries out deletions now
    Login();
}

int32_t MailSession::CountMessages()
{
    lastListing_ = box_.load()->List(true);
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
            s.EachBox([](Mailbox& box) { box.ClearCancel(); });
            if (s.OnExchangesEnded)
                s.OnExchangesEnded();
        }
    } count(*this);
    try {
        body();
    } catch (const EWireCancelled&) {
        box_.load()->Abort();
        throw;
    } catch (const std::exception&) {
        if (box_.load()->Connected())
            box_.load()->Abort();
        throw;
    }
}

void MailSession::Cancel()
{
    if (!Busy())
        return;
    EachBox([](Mailbox& box) { box.Cancel(); });
    std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_all(); // a Show waiting for the owner gives up
}

void MailSession::Close()
{
    box_.load()->Close();
}

} // namespace pelko
