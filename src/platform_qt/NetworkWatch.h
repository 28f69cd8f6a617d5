#pragma once
// Whether the machine is online, from Qt's network information (with
// NetworkManager behind it where present), and the changes worth acting on:
// going offline, coming back, moving to another network.
#include "platform/Platform.h"

#include <QNetworkInformation>
#include <QObject>
#include <QTimer>

#include <functional>

namespace pelko {

// Reachability as the program acts on it: only "disconnected" is offline. A
// network without the internet may still hold the mail server.
OnlineState OnlineStateOf(QNetworkInformation::Reachability r);

class NetworkWatch : public QObject {
    Q_OBJECT
public:
    // Loads the default back end (none: the state stays Unknown). settleMs:
    // changes are told once the network has been still that long, so one
    // move to another network is told once.
    explicit NetworkWatch(int settleMs = kSettleMs, QObject* parent = nullptr);

    static constexpr int kSettleMs = 1000;

    OnlineState state() const;
    // onChange(false): gone offline; onChange(true): back online, or on
    // another network (a new way out, or more reach than before).
    void setHandler(std::function<void(bool online)> onChange) { onChange_ = std::move(onChange); }

private:
    void settled();

    QNetworkInformation* info_ = nullptr;
    QTimer settle_;
    QNetworkInformation::Reachability told_ = QNetworkInformation::Reachability::Unknown;
    bool movedNetwork_ = false; // the way out changed since the last telling
    std::function<void(bool)> onChange_;
};

} // namespace pelko
