#include "cli/MachineEvents.h"

#include <dbus/dbus.h>

#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace pelko::cli {

namespace {

constexpr const char* kLogin = "org.freedesktop.login1";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kLoginManager = "org.freedesktop.login1.Manager";
constexpr const char* kNm = "org.freedesktop.NetworkManager";
constexpr const char* kNmPath = "/org/freedesktop/NetworkManager";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// No call to the bus waits longer.
constexpr int kCallMs = 2000;

// NetworkManager's states as the window reads them: only disconnected and
// disconnecting are offline (a network without the internet may still hold
// the mail server); asleep and connecting say nothing yet.
NetworkState StateOf(uint32_t nm)
{
    if (nm == 20 || nm == 30)
        return NetworkState::Offline;
    return nm >= 50 ? NetworkState::Online : NetworkState::Unknown;
}

// The value inside a variant the iterator stands on: a uint32 or an object
// path, as NetworkManager sends them.
bool ReadVariant(DBusMessageIter* variant, uint32_t* number, std::string* path)
{
    DBusMessageIter inner;
    dbus_message_iter_recurse(variant, &inner);
    const int type = dbus_message_iter_get_arg_type(&inner);
    if (type == DBUS_TYPE_UINT32 && number) {
        dbus_uint32_t v = 0;
        dbus_message_iter_get_basic(&inner, &v);
        *number = v;
        return true;
    }
    if (type == DBUS_TYPE_OBJECT_PATH && path) {
        const char* v = nullptr;
        dbus_message_iter_get_basic(&inner, &v);
        *path = v ? v : "";
        return true;
    }
    return false;
}

} // namespace

MachineEvents::MachineEvents(MachineHandlers handlers) : handlers_(std::move(handlers)) {}

MachineEvents::~MachineEvents()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        {
            // A sleep waiting for its ready ends too.
            std::lock_guard<std::mutex> lock(readyMutex_);
            ready_ = true;
        }
        readyCv_.notify_all();
        thread_.join();
    }
    LetLockGo();
    if (stop_ >= 0)
        ::close(stop_);
    if (bus_) {
        dbus_connection_close(bus_);
        dbus_connection_unref(bus_);
    }
}

bool MachineEvents::Call(DBusMessage* call, DBusMessage** reply)
{
    dbus_message_set_auto_start(call, FALSE); // ask, never start a service
    DBusError err;
    dbus_error_init(&err);
    *reply = dbus_connection_send_with_reply_and_block(bus_, call, kCallMs, &err);
    dbus_message_unref(call);
    dbus_error_free(&err);
    return *reply != nullptr;
}

void MachineEvents::Start()
{
    dbus_threads_init_default();
    DBusError err;
    dbus_error_init(&err);
    bus_ = dbus_bus_get_private(DBUS_BUS_SYSTEM, &err);
    dbus_error_free(&err);
    if (!bus_)
        return;
    dbus_connection_set_exit_on_disconnect(bus_, FALSE);
    dbus_bus_add_match(bus_,
                       "type='signal',sender='org.freedesktop.login1',path='/org/freedesktop/login1',"
                       "interface='org.freedesktop.login1.Manager',member='PrepareForSleep'",
                       nullptr);
    dbus_bus_add_match(bus_,
                       "type='signal',sender='org.freedesktop.NetworkManager',path='/org/freedesktop/NetworkManager',"
                       "interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'",
                       nullptr);
    dbus_connection_flush(bus_);
    TakeLock();
    ReadNetwork();
    told_ = network_;
    stop_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stop_ < 0)
        return;
    thread_ = std::thread([this] { Run(); });
}

void MachineEvents::TakeLock()
{
    DBusMessage* call = dbus_message_new_method_call(kLogin, kLoginPath, kLoginManager, "Inhibit");
    if (!call)
        return;
    const char* what = "sleep";
    const char* who = "pelko-check";
    const char* why = "Closing the mail connections";
    const char* mode = "delay";
    dbus_message_append_args(call, DBUS_TYPE_STRING, &what, DBUS_TYPE_STRING, &who, DBUS_TYPE_STRING, &why,
                             DBUS_TYPE_STRING, &mode, DBUS_TYPE_INVALID);
    DBusMessage* reply = nullptr;
    if (!Call(call, &reply))
        return;
    int fd = -1;
    DBusError err;
    dbus_error_init(&err);
    if (dbus_message_get_args(reply, &err, DBUS_TYPE_UNIX_FD, &fd, DBUS_TYPE_INVALID)) {
        LetLockGo();
        lock_ = fd;
    }
    dbus_error_free(&err);
    dbus_message_unref(reply);
}

void MachineEvents::LetLockGo()
{
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

void MachineEvents::ReadNetwork()
{
    for (const char* name : {"State", "PrimaryConnection"}) {
        DBusMessage* call = dbus_message_new_method_call(kNm, kNmPath, kProperties, "Get");
        if (!call)
            return;
        const char* iface = kNm;
        dbus_message_append_args(call, DBUS_TYPE_STRING, &iface, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID);
        DBusMessage* reply = nullptr;
        if (!Call(call, &reply))
            return; // no NetworkManager: unknown
        DBusMessageIter it;
        if (dbus_message_iter_init(reply, &it) && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_VARIANT)
            ReadVariant(&it, &nmState_, &primary_);
        dbus_message_unref(reply);
    }
    network_ = StateOf(nmState_);
}

void MachineEvents::Run()
{
    int fd = -1;
    if (!dbus_connection_get_unix_fd(bus_, &fd))
        return;
    for (;;) {
        while (DBusMessage* m = dbus_connection_pop_message(bus_)) {
            Handle(m);
            dbus_message_unref(m);
        }
        int waitMs = -1;
        if (settling_) {
            const auto left = settleAt_ - std::chrono::steady_clock::now();
            waitMs = int(std::max<int64_t>(0, std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
        }
        pollfd p[2] = {{stop_, POLLIN, 0}, {fd, POLLIN, 0}};
        const int n = ::poll(p, 2, waitMs);
        if (n < 0 && errno != EINTR)
            return;
        if (p[0].revents)
            return;
        if (p[1].revents & (POLLHUP | POLLERR | POLLNVAL))
            return; // the bus is gone: nothing more to hear
        if (p[1].revents & POLLIN)
            dbus_connection_read_write(bus_, 0);
        if (settling_ && std::chrono::steady_clock::now() >= settleAt_)
            Settled();
    }
}

void MachineEvents::Handle(DBusMessage* m)
{
    if (dbus_message_is_signal(m, kLoginManager, "PrepareForSleep")) {
        dbus_bool_t start = FALSE;
        DBusError err;
        dbus_error_init(&err);
        const bool ok = dbus_message_get_args(m, &err, DBUS_TYPE_BOOLEAN, &start, DBUS_TYPE_INVALID);
        dbus_error_free(&err);
        if (!ok)
            return;
        if (!start) {
            TakeLock();
            if (handlers_.woken)
                handlers_.woken();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(readyMutex_);
            ready_ = false;
        }
        if (handlers_.sleeping)
            handlers_.sleeping([this] {
                {
                    std::lock_guard<std::mutex> lock(readyMutex_);
                    ready_ = true;
                }
                readyCv_.notify_all();
            });
        std::unique_lock<std::mutex> lock(readyMutex_);
        readyCv_.wait_for(lock, kSleepGrace, [this] { return ready_; });
        LetLockGo();
        return;
    }
    if (dbus_message_is_signal(m, kProperties, "PropertiesChanged") && dbus_message_has_path(m, kNmPath))
        NetworkChanged(m);
}

void MachineEvents::NetworkChanged(DBusMessage* m)
{
    DBusMessageIter it;
    if (!dbus_message_iter_init(m, &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_STRING)
        return;
    const char* iface = nullptr;
    dbus_message_iter_get_basic(&it, &iface);
    if (!iface || std::strcmp(iface, kNm) != 0 || !dbus_message_iter_next(&it) ||
        dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_ARRAY)
        return;
    DBusMessageIter dict;
    dbus_message_iter_recurse(&it, &dict);
    bool changed = false;
    for (; dbus_message_iter_get_arg_type(&dict) == DBUS_TYPE_DICT_ENTRY; dbus_message_iter_next(&dict)) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&dict, &entry);
        if (dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING)
            continue;
        const char* name = nullptr;
        dbus_message_iter_get_basic(&entry, &name);
        if (!name || !dbus_message_iter_next(&entry) || dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT)
            continue;
        if (std::strcmp(name, "State") == 0) {
            changed = ReadVariant(&entry, &nmState_, nullptr) || changed;
        } else if (std::strcmp(name, "PrimaryConnection") == 0) {
            std::string path;
            if (ReadVariant(&entry, nullptr, &path) && path != primary_) {
                moved_ = moved_ || (!primary_.empty() && path != "/");
                primary_ = path;
                changed = true;
            }
        }
    }
    if (!changed)
        return;
    settling_ = true;
    settleAt_ = std::chrono::steady_clock::now() + kSettle;
}

void MachineEvents::Settled()
{
    settling_ = false;
    network_ = StateOf(nmState_);
    const NetworkState before = told_;
    const bool moved = moved_;
    told_ = network_;
    moved_ = false;
    if (!handlers_.network)
        return;
    if (network_ == NetworkState::Offline) {
        if (before != NetworkState::Offline)
            handlers_.network(false);
        return;
    }
    // Back, or out by another way: the connections made before may be dead.
    if (before == NetworkState::Offline || moved)
        handlers_.network(true);
}

} // namespace pelko::cli
