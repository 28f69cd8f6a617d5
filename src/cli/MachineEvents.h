#pragma once
// What the watch hears from the machine on the system bus: the login
// manager saying it is about to sleep or has woken up, and NetworkManager
// saying whether the machine is online or has moved to another network.
//
// Before sleep the machine waits for us (a "delay" lock held while awake):
// the lock goes once `sleeping`'s ready has been called, or after
// kSleepGrace at the latest. Network changes are told once they have
// settled for kSettle. Without a system bus, a login manager or
// NetworkManager, the part concerned tells nothing.
//
// The handlers run on the events' own thread: they post to their owner.
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

struct DBusConnection;
struct DBusMessage;

namespace pelko::cli {

enum class NetworkState { Unknown, Offline, Online };

struct MachineHandlers {
    // The machine is going to sleep; call ready (from any thread) once the
    // connections are closed.
    std::function<void(std::function<void()> ready)> sleeping;
    std::function<void()> woken;
    // false: offline; true: back online, or online on another network.
    std::function<void(bool online)> network;
};

class MachineEvents {
public:
    static constexpr std::chrono::seconds kSleepGrace{4};
    static constexpr std::chrono::seconds kSettle{1};

    explicit MachineEvents(MachineHandlers handlers);
    ~MachineEvents(); // ends the thread, lets the lock go
    MachineEvents(const MachineEvents&) = delete;
    MachineEvents& operator=(const MachineEvents&) = delete;

    // Connects to the system bus (DBUS_SYSTEM_BUS_ADDRESS if set), takes
    // the lock, reads the network's state and starts following both.
    void Start();
    // The network's state as read at Start.
    NetworkState Network() const { return network_; }

private:
    void Run();
    void Handle(DBusMessage* m);
    void TakeLock();
    void LetLockGo();
    void ReadNetwork();
    void NetworkChanged(DBusMessage* m);
    void Settled();
    bool Call(DBusMessage* call, DBusMessage** reply);

    MachineHandlers handlers_;
    DBusConnection* bus_ = nullptr;
    int stop_ = -1; // an eventfd
    int lock_ = -1; // the sleep lock's descriptor
    std::thread thread_;
    NetworkState network_ = NetworkState::Unknown;
    NetworkState told_ = NetworkState::Unknown;
    uint32_t nmState_ = 0;
    std::string primary_; // the primary connection's object path
    bool moved_ = false;
    bool settling_ = false;
    std::chrono::steady_clock::time_point settleAt_{};
    std::mutex readyMutex_;
    std::condition_variable readyCv_;
    bool ready_ = false;
};

} // namespace pelko::cli
