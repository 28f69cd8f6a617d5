#include "platform_qt/NetworkWatch.h"

namespace pelko {

using Reach = QNetworkInformation::Reachability;

OnlineState OnlineStateOf(Reach r)
{
    switch (r) {
    case Reach::Unknown: return OnlineState::Unknown;
    case Reach::Disconnected: return OnlineState::Offline;
    case Reach::Local:
    case Reach::Site:
    case Reach::Online: return OnlineState::Online;
    }
    return OnlineState::Unknown;
}

NetworkWatch::NetworkWatch(int settleMs, QObject* parent) : QObject(parent)
{
    settle_.setSingleShot(true);
    settle_.setInterval(settleMs);
    connect(&settle_, &QTimer::timeout, this, [this] { settled(); });
    if (!QNetworkInformation::instance())
        QNetworkInformation::loadDefaultBackend();
    info_ = QNetworkInformation::instance();
    if (!info_)
        return;
    told_ = info_->reachability();
    connect(info_, &QNetworkInformation::reachabilityChanged, this, [this] { settle_.start(); });
    connect(info_, &QNetworkInformation::transportMediumChanged, this, [this] {
        movedNetwork_ = true;
        settle_.start();
    });
}

OnlineState NetworkWatch::state() const
{
    return info_ ? OnlineStateOf(info_->reachability()) : OnlineState::Unknown;
}

void NetworkWatch::settled()
{
    const Reach now = info_->reachability();
    const Reach before = told_;
    const bool moved = movedNetwork_;
    told_ = now;
    movedNetwork_ = false;
    if (!onChange_)
        return;
    const auto handler = onChange_; // the handler may set another
    if (now == Reach::Disconnected) {
        if (before != Reach::Disconnected)
            handler(false);
        return;
    }
    // Back from offline, more reach than before, or another way out: the
    // connections made before may be dead.
    if (before == Reach::Disconnected || int(now) > int(before) || moved)
        handler(true);
}

} // namespace pelko
