#include "session/AccountWatch.h"

#include "session/ImapMailbox.h"
#include "mime/Readable.h"
#include "mime/TextUtil.h"
#include "mime/WireMessage.h"
#include "wire/HostSpec.h"
#include "wire/Imap.h"
#include "wire/TlsTransport.h"
#include "wire/Transport.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <ctime>
#include <exception>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <utility>

namespace pelko {

namespace {

// A message is named in a line: a header of megabytes is cut long before
// it is decoded, and what is shown stays short.
constexpr size_t kHeaderRead = 64 * 1024;
constexpr size_t kHeaderShown = 1000;

std::string Named(const TStrings& headers, const char* name)
{
    return ShownLine(DecodeHeaderWords(TWireMessage::HeaderIn(headers, name).substr(0, kHeaderRead)), kHeaderShown);
}

// Nanoseconds the machine has slept since it started: the boot-time clock
// goes on in a suspend, the monotonic one does not.
int64_t TimeAsleep()
{
    timespec boot{}, mono{};
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    ::clock_gettime(CLOCK_MONOTONIC, &mono);
    return (int64_t(boot.tv_sec) - mono.tv_sec) * 1000000000 + (int64_t(boot.tv_nsec) - mono.tv_nsec);
}

// A sleep longer than this is taken as a suspend: the connection is most
// likely gone (NAT, the server) and is opened again at once.
constexpr int64_t kSuspendNs = int64_t(5) * 1000000000;

// The longest a quiet connection is waited on in one go: between two such
// waits the watch looks whether the machine slept meanwhile.
constexpr std::chrono::milliseconds kQuietSlice = std::chrono::seconds(60);

bool Changes(const std::vector<ImapIdleEvent>& events, std::string& bye)
{
    bool changed = false;
    for (const ImapIdleEvent& e : events) {
        if (e.kind == ImapIdleEvent::Bye)
            bye = e.text.empty() ? "* BYE" : e.text;
        changed = changed || e.kind == ImapIdleEvent::Exists || e.kind == ImapIdleEvent::Expunge ||
                  e.kind == ImapIdleEvent::Fetch || e.kind == ImapIdleEvent::Recent;
    }
    return changed;
}

} // namespace

bool Watchable(const MailAccount& account)
{
    const HostSpec spec = ParseHostSpec(account.host);
    return spec.problem.empty() && spec.protocol == HostProtocol::Imap;
}

// ---- the sink ----

void WatchSink::Tell(WatchNews e)
{
    post([self = shared_from_this(), e = std::move(e)] {
        if (self->alive && self->onNewMail)
            self->onNewMail(e);
    });
}

void WatchSink::Tell(WatchCount e)
{
    post([self = shared_from_this(), e = std::move(e)] {
        if (self->alive && self->onCount)
            self->onCount(e);
    });
}

void WatchSink::Tell(WatchStateEvent e)
{
    post([self = shared_from_this(), e = std::move(e)] {
        if (self->alive && self->onState)
            self->onState(e);
    });
}

// ---- one account ----

AccountWatch::AccountWatch(WatchedAccount account, const WatchSettings& settings, std::shared_ptr<WatchSink> sink,
                           std::shared_ptr<const SeenIds> seen)
    : account_(std::move(account)), settings_(settings), sink_(std::move(sink)),
      wakeFd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), firstSeen_(std::move(seen))
{
}

AccountWatch::~AccountWatch()
{
    RequestStop();
    Join();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

void AccountWatch::Start()
{
    running_ = true;
    thread_ = std::thread([this] {
        Run();
        running_ = false;
    });
}

void AccountWatch::RequestStop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        (void)!::write(wakeFd_, &one, sizeof one);
    }
}

void AccountWatch::Join()
{
    if (thread_.joinable())
        thread_.join();
}

bool AccountWatch::Pause(std::chrono::milliseconds ms)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, ms, [this] { return stop_.load(); });
}

void AccountWatch::Say(WatchState state, const std::string& text, int pauseMs, const std::string& fingerprint)
{
    // A state is told when it changes; a failure every time (its text and
    // pause do).
    if (saidAny_ && state == lastState_ && state != WatchState::Retrying)
        return;
    saidAny_ = true;
    lastState_ = state;
    WatchStateEvent e;
    e.account = account_.index;
    e.state = state;
    e.text = text;
    e.pauseMs = pauseMs;
    e.refusedCertificate = fingerprint;
    sink_->Tell(std::move(e));
}

bool AccountWatch::Quiet(TWireIMAP& c, std::chrono::milliseconds ms)
{
    const Transport* t = c.Handle();
    if (!t || t->pollFd() < 0)
        return true; // the client tells what is wrong
    pollfd p[2] = {{t->pollFd(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    // Without the stop's file a stop is looked for as the client does.
    if (wakeFd_ < 0)
        ms = std::min<std::chrono::milliseconds>(ms, std::chrono::milliseconds(30));
    const int r = ::poll(p, wakeFd_ >= 0 ? 2 : 1, static_cast<int>(ms.count()));
    Hook(c); // a stop, or a sleep of the machine, ends the connection here
    if (c.Cancelled())
        throw EWireCancelled();
    return r > 0 && (p[0].revents != 0);
}

void AccountWatch::Hook(TWireIMAP& c)
{
    if (stop_) {
        c.Cancel();
        return;
    }
    const int64_t asleep = TimeAsleep();
    if (asleep - sleptBase_ > kSuspendNs) {
        sleptBase_ = asleep;
        resumed_ = true;
        c.Cancel();
    }
}

void AccountWatch::Run()
{
    const HostSpec spec = ParseHostSpec(account_.account.host);
    if (!spec.problem.empty()) {
        Say(WatchState::Failed, spec.problem);
        return;
    }
    auto pause = settings_.firstPause;
    sleptBase_ = TimeAsleep();
    while (!stop_) {
        Say(WatchState::Connecting);
        TWireIMAP c;
        c.Host = account_.account.host;
        c.UserID = account_.account.user;
        c.Timeout = static_cast<int>(settings_.timeout.count());
        c.TrustedCertificate = account_.trustedCertificate;
        c.OnIdle = [this, &c] { Hook(c); };
        std::string failure;
        try {
            const Outcome end = Watch(c);
            c.Disconnect();
            if (end == Outcome::NoIdle)
                Say(WatchState::NoIdle);
            return;
        } catch (const EWireCancelled&) {
            c.Abort();
            if (stop_)
                return;
            if (resumed_) {
                resumed_ = false;
                pause = settings_.firstPause;
                continue; // woke from a suspend: straight back in
            }
            failure = "Cancelled.";
        } catch (const EWireSignInRefused& e) {
            c.Abort();
            // The same password again would only bring the account nearer
            // to being locked; a token command gives a fresh token each time.
            if (account_.account.secret.source != SecretSource::Command) {
                Say(WatchState::Failed, e.what());
                return;
            }
            failure = e.what();
        } catch (const EWireTlsError& e) {
            c.Abort();
            const std::string what = e.what();
            if (!e.Refused.fingerprint.empty() || what == kImapNoStartTlsText || what == kImapTokenNeedsTlsText) {
                Say(WatchState::Failed, what, 0, e.Refused.fingerprint);
                return;
            }
            failure = what;
        } catch (const std::exception& e) {
            c.Abort();
            failure = e.what();
        } catch (...) {
            c.Abort(); // nothing ends the watch's thread but a stop or a lasting refusal
            failure = "Unexpected failure.";
        }
        if (lastState_ == WatchState::Watching)
            pause = settings_.firstPause; // it worked until now: a short pause first
        Say(WatchState::Retrying, failure, static_cast<int>(pause.count()));
        if (!Pause(pause))
            return;
        pause = std::min(pause * 2, settings_.longestPause);
    }
}

AccountWatch::Outcome AccountWatch::Watch(TWireIMAP& c)
{
    {
        // The secret is in the client only for the login.
        struct Forget {
            TWireIMAP& c;
            ~Forget() { c.Password.clear(); }
        } forget{c};
        PrepareImapLogin(c, account_.account, [this] {
            if (stop_)
                throw EWireCancelled();
        });
        c.Connect();
    }
    if (!c.HasCapability("IDLE"))
        return Outcome::NoIdle;
    const ImapSelected selected = c.Examine();
    Compare(c, selected.uidValidity);
    for (;;) {
        if (!c.StartIdle())
            return Outcome::NoIdle;
        Say(WatchState::Watching);
        const auto renewal = std::chrono::steady_clock::now() + settings_.renewal;
        bool changed = false;
        std::string bye;
        while (!changed) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(renewal - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            // Nothing buffered: wait on the connection alone, without the
            // client's waiting slices, so a quiet account costs no wakeups.
            if (c.BufferedBytes() == 0 && !Quiet(c, std::min(left, kQuietSlice)))
                continue;
            changed = Changes(c.WaitIdle(static_cast<int>(left.count())), bye);
            if (!bye.empty())
                throw EWireConnClosedGraceful(bye);
            if (!c.Idling())
                changed = true; // the server ended the IDLE itself: look, and start it again
        }
        // Renewed, or news to look at: a server that does not answer DONE
        // within the time-out is gone (the client then closes).
        changed = Changes(c.StopIdle(), bye) || changed;
        if (!bye.empty())
            throw EWireConnClosedGraceful(bye);
        if (changed)
            Compare(c, selected.uidValidity);
    }
}

void AccountWatch::Compare(TWireIMAP& c, uint32_t uidValidity)
{
    const std::vector<uint32_t> uids = c.UidSearch("UNSEEN");
    // The UIDs hold with the mailbox's UIDVALIDITY: a new one makes them
    // mean other messages (a new baseline, nothing told).
    const std::string key = SeenIds::Key(account_.account);
    const std::string validity = std::to_string(uidValidity);
    const std::string kept = SeenIds::ValidityKey(key, validity);
    // As the mailbox lists them (a check and the watch agree on what was told).
    auto listing = std::make_shared<const std::vector<ListedMessage>>(ImapMailbox::ListedIds(uidValidity, uids));

    // New: what is not on record. The first time the owner's record tells;
    // after that this watch's own. A mailbox not on record (a new
    // UIDVALIDITY included) takes its first listing as the baseline.
    const std::vector<ListedMessage> fresh = (firstSeen_ ? *firstSeen_ : told_).NewIn(kept, *listing, false);

    const int32_t unseen = static_cast<int32_t>(uids.size());
    if (!fresh.empty()) {
        WatchNews news;
        news.account = account_.index;
        news.unseen = unseen;
        news.newCount = fresh.size();
        // The newest are named (the listing is in UID order).
        std::vector<uint32_t> named;
        for (size_t k = fresh.size() > settings_.nameUpTo ? fresh.size() - settings_.nameUpTo : 0; k < fresh.size(); ++k)
            named.push_back(uids[size_t(fresh[k].number - 1)]);
        std::vector<ImapHeaderFields> fields;
        try {
            fields = c.FetchHeaderFields(named);
        } catch (const EWireResponseError&) {
            // Refused: told without sender and subject.
        }
        for (uint32_t uid : named) {
            WatchedMessage m;
            m.uid = uid;
            for (const ImapHeaderFields& f : fields) {
                if (f.uid == uid) {
                    m.from = Named(f.headers, "From");
                    m.subject = Named(f.headers, "Subject");
                    m.date = Named(f.headers, "Date");
                    break;
                }
            }
            news.messages.push_back(std::move(m));
        }
        sink_->Tell(std::move(news));
    }
    // Recorded once told: a connection lost before this tells it next time.
    firstSeen_.reset();
    told_.Update(key, validity, *listing, false);
    if (unseen != lastUnseen_ || !fresh.empty()) {
        lastUnseen_ = unseen;
        WatchCount count;
        count.account = account_.index;
        count.unseen = unseen;
        count.key = key;
        count.validity = validity;
        count.listing = std::move(listing);
        sink_->Tell(std::move(count));
    }
}

} // namespace pelko
