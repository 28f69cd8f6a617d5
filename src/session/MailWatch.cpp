#include "session/MailWatch.h"

#include "session/AccountWatch.h"

#include <utility>

namespace pelko {

MailWatch::MailWatch(Post post, WatchSettings settings) : post_(std::move(post)), settings_(settings) {}

MailWatch::~MailWatch()
{
    Stop();
}

void MailWatch::Start(const std::vector<WatchedAccount>& accounts, const SeenIds& seen)
{
    Stop();
    sink_ = std::make_shared<WatchSink>();
    sink_->post = post_;
    sink_->onNewMail = OnNewMail;
    sink_->onCount = OnCount;
    sink_->onState = OnState;
    // One copy of the record, read by every watch for its first comparison
    // and gone once they all made it.
    auto snapshot = std::make_shared<const SeenIds>(seen);
    for (const WatchedAccount& a : accounts) {
        if (!Watchable(a.account)) {
            WatchStateEvent e;
            e.account = a.index;
            e.state = WatchState::NoIdle;
            sink_->Tell(std::move(e));
            continue;
        }
        watches_.push_back(std::make_unique<AccountWatch>(a, settings_, sink_, snapshot));
        watches_.back()->Start();
    }
}

void MailWatch::Stop()
{
    if (sink_)
        sink_->alive = false; // what is still queued is dropped
    // All are asked first, so that they end side by side.
    for (auto& w : watches_)
        w->RequestStop();
    for (auto& w : watches_)
        w->Join();
    watches_.clear();
    sink_.reset();
}

size_t MailWatch::Watching() const
{
    size_t n = 0;
    for (const auto& w : watches_)
        n += w->Running() ? 1 : 0;
    return n;
}

} // namespace pelko
