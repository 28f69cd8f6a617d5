#include "config/Keyring.h"

#include <libsecret/secret.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <dlfcn.h>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace pelko::keyring {

const char* const kNotAvailableText =
    "The desktop keyring is not available (no Secret Service on the session bus).";
const char* const kLockedText = "The desktop keyring is locked.";

namespace {

constexpr const char* kServiceName = "org.freedesktop.secrets";
constexpr auto kWaitSlice = std::chrono::milliseconds(30);
// The longest piece of the service's own error text that is shown.
constexpr size_t kMaxServiceText = 200;

// libsecret (and GLib with it) is loaded at the first use of the keyring:
// most runs never need it, and pelko-check counts mail in milliseconds.
struct Secrets {
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_service_get_sync) service = nullptr;
    decltype(&secret_service_search_sync) search = nullptr;
    decltype(&secret_service_unlock_sync) unlock = nullptr;
    decltype(&secret_attributes_build) attributes = nullptr;
    decltype(&secret_item_get_locked) locked = nullptr;
    decltype(&secret_item_load_secret_sync) loadSecret = nullptr;
    decltype(&secret_item_get_secret) secret = nullptr;
    decltype(&secret_value_get) valueBytes = nullptr;
    decltype(&secret_value_unref) valueUnref = nullptr;
    decltype(&g_error_free) errorFree = nullptr;
    decltype(&g_cancellable_new) cancellableNew = nullptr;
    decltype(&g_cancellable_cancel) cancel = nullptr;
    decltype(&g_object_unref) unref = nullptr;
    decltype(&g_list_free) listFree = nullptr;
    decltype(&g_hash_table_unref) tableUnref = nullptr;
    decltype(&g_dbus_error_quark) dbusError = nullptr;
    decltype(&g_io_error_quark) ioError = nullptr;
    decltype(&g_bus_get_sync) bus = nullptr;
    decltype(&g_dbus_connection_call_sync) call = nullptr;
    decltype(&g_variant_new) variant = nullptr;
    decltype(&g_variant_unref) variantUnref = nullptr;
    decltype(&g_variant_get) variantGet = nullptr;
    bool loaded() const
    {
        return store && clear && service && search && unlock && attributes && locked && loadSecret && secret &&
               valueBytes && valueUnref && errorFree && cancellableNew && cancel && unref && listFree &&
               tableUnref && dbusError && ioError && bus && call && variant && variantUnref && variantGet;
    }
};

template <typename F>
void Bind(void* h, F& f, const char* name)
{
    f = reinterpret_cast<F>(dlsym(h, name));
}

const Secrets& Library()
{
    static const Secrets s = [] {
        Secrets l;
        void* h = dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!h)
            return l;
        Bind(h, l.store, "secret_password_store_sync");
        Bind(h, l.clear, "secret_password_clear_sync");
        Bind(h, l.service, "secret_service_get_sync");
        Bind(h, l.search, "secret_service_search_sync");
        Bind(h, l.unlock, "secret_service_unlock_sync");
        Bind(h, l.attributes, "secret_attributes_build");
        Bind(h, l.locked, "secret_item_get_locked");
        Bind(h, l.loadSecret, "secret_item_load_secret_sync");
        Bind(h, l.secret, "secret_item_get_secret");
        Bind(h, l.valueBytes, "secret_value_get");
        Bind(h, l.valueUnref, "secret_value_unref");
        Bind(h, l.errorFree, "g_error_free");
        Bind(h, l.cancellableNew, "g_cancellable_new");
        Bind(h, l.cancel, "g_cancellable_cancel");
        Bind(h, l.unref, "g_object_unref");
        Bind(h, l.listFree, "g_list_free");
        Bind(h, l.tableUnref, "g_hash_table_unref");
        Bind(h, l.dbusError, "g_dbus_error_quark");
        Bind(h, l.ioError, "g_io_error_quark");
        Bind(h, l.bus, "g_bus_get_sync");
        Bind(h, l.call, "g_dbus_connection_call_sync");
        Bind(h, l.variant, "g_variant_new");
        Bind(h, l.variantUnref, "g_variant_unref");
        Bind(h, l.variantGet, "g_variant_get");
        return l;
    }();
    return s;
}

const SecretSchema* Schema()
{
    static const SecretSchema schema = {"org.example.pelko.Account",
                                        SECRET_SCHEMA_NONE,
                                        {
                                            {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"host", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    return &schema;
}

// Without a session bus libsecret would try to start one: say so at once.
bool BusThere(std::string* why)
{
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (bus && *bus && Library().loaded())
        return true;
    if (why)
        *why = kNotAvailableText;
    return false;
}

// "25 s", "0.3 s"
std::string Seconds(long long ms)
{
    std::string out = std::to_string(ms / 1000);
    if (ms % 1000 >= 100)
        out += "." + std::to_string((ms % 1000) / 100);
    return out + " s";
}

std::string NoAnswer(long long ms, bool unlocking)
{
    if (unlocking)
        return std::string(kLockedText) + " Its unlock prompt was not answered within " + Seconds(ms) + ".";
    return "No answer from the desktop keyring within " + Seconds(ms) + ".";
}

// What went wrong, in words: a Secret Service that is not there is told
// apart from one that does not answer or refuses. The service's own text
// is cut short and loses its control characters (a terminal shows it too).
std::string Described(const GError* error, long long elapsedMs)
{
    const Secrets& lib = Library();
    if (error->domain == lib.dbusError() &&
        (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER))
        return kNotAvailableText;
    if ((error->domain == lib.ioError() && error->code == G_IO_ERROR_TIMED_OUT) ||
        (error->domain == lib.dbusError() &&
         (error->code == G_DBUS_ERROR_NO_REPLY || error->code == G_DBUS_ERROR_TIMEOUT ||
          error->code == G_DBUS_ERROR_TIMED_OUT)))
        return NoAnswer(elapsedMs, false);
    std::string text = error->message ? error->message : "";
    if (text.size() > kMaxServiceText)
        text = text.substr(0, kMaxServiceText) + "...";
    for (char& ch : text)
        if (static_cast<unsigned char>(ch) < 32 || ch == 127)
            ch = ' ';
    return "The desktop keyring failed: " + text;
}

// Says why a store failed (after elapsedMs) and frees the error.
void Take(GError* error, long long elapsedMs, std::string* why)
{
    if (why)
        *why = error ? Described(error, elapsedMs) : "The desktop keyring did not keep the password.";
    if (error)
        Library().errorFree(error);
}

// One lookup, run on a thread of its own: libsecret's calls wait as long as
// the service (or the person before an unlock prompt) takes. The waiting
// caller gives up after its time; the lookup is then called off and its
// answer, should one still come, dropped.
struct LookupJob {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool ok = false; // the work's answer
    std::optional<std::string> secret;
    std::string why;
    std::atomic<bool> unlocking{false};
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    GCancellable* cancel = Library().cancellableNew();
    ~LookupJob() { Library().unref(cancel); }

    long long Elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
            .count();
    }
};

// libsecret finds nothing, without an error, when no Secret Service is on
// the bus: ask the bus itself (starting the service when it can be started,
// as libsecret would).
bool ServiceThere(GCancellable* cancel, GError** error)
{
    const Secrets& lib = Library();
    GDBusConnection* bus = lib.bus(G_BUS_TYPE_SESSION, cancel, error);
    if (!bus)
        return false;
    const auto ask = [&](const char* method, GVariant* arguments) {
        GVariant* reply = lib.call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                   method, arguments, nullptr, G_DBUS_CALL_FLAGS_NONE, -1, cancel, error);
        return reply;
    };
    bool there = false;
    if (GVariant* owned = ask("NameHasOwner", lib.variant("(s)", kServiceName))) {
        gboolean has = FALSE;
        lib.variantGet(owned, "(b)", &has);
        lib.variantUnref(owned);
        there = has;
        if (!there) {
            if (GVariant* started = ask("StartServiceByName", lib.variant("(su)", kServiceName, 0u))) {
                lib.variantUnref(started);
                there = true;
            }
        }
    }
    lib.unref(bus);
    return there;
}

// Looks the account up: the first matching item, unlocked first when the
// keyring is locked (the service may then ask the user), then its secret.
void RunLookup(LookupJob& job, const std::string& account, const std::string& host)
{
    const Secrets& lib = Library();
    GError* error = nullptr;
    const auto failed = [&] {
        if (!error)
            return false;
        job.why = Described(error, job.Elapsed());
        if (job.unlocking && job.why.rfind("No answer", 0) == 0)
            job.why = NoAnswer(job.Elapsed(), true);
        lib.errorFree(error);
        return true;
    };
    SecretService* service = nullptr;
    if (ServiceThere(job.cancel, &error))
        service = lib.service(SECRET_SERVICE_OPEN_SESSION, job.cancel, &error);
    if (failed() || !service) {
        if (job.why.empty())
            job.why = kNotAvailableText;
        return;
    }
    GHashTable* attributes = lib.attributes(Schema(), "account", account.c_str(), "host", host.c_str(), nullptr);
    GList* items = lib.search(service, Schema(), attributes, SECRET_SEARCH_LOAD_SECRETS, job.cancel, &error);
    lib.tableUnref(attributes);
    if (failed() || !items) {
        if (job.why.empty())
            job.why = "The desktop keyring holds no password for " + account + " (" + host + ").";
        lib.unref(service);
        return;
    }
    SecretItem* item = static_cast<SecretItem*>(items->data);
    for (GList* rest = items->next; rest; rest = rest->next)
        lib.unref(rest->data);
    lib.listFree(items);

    bool locked = lib.locked(item);
    if (locked) {
        job.unlocking = true;
        GList one{item, nullptr, nullptr};
        GList* unlocked = nullptr;
        const gint count = lib.unlock(service, &one, job.cancel, &unlocked, &error);
        for (GList* u = unlocked; u; u = u->next)
            lib.unref(u->data);
        if (unlocked)
            lib.listFree(unlocked);
        if (!failed() && count > 0) {
            job.unlocking = false;
            locked = !lib.loadSecret(item, job.cancel, &error) && failed();
        }
    }
    SecretValue* value = locked ? nullptr : lib.secret(item);
    if (value) {
        gsize length = 0;
        const gchar* bytes = lib.valueBytes(value, &length);
        job.secret = std::string(bytes ? bytes : "", bytes ? length : 0);
        lib.valueUnref(value);
    } else if (job.why.empty()) {
        job.why = kLockedText;
    }
    lib.unref(item);
    lib.unref(service);
}

} // namespace

namespace {

// Runs work on a thread of its own (libsecret's calls wait as long as the
// service takes) and waits for it at most timeoutMs, running idle between
// short waits; whatever ends the wait (the time, or idle raising) calls the
// work off. work's answer, or false with why set.
bool RunWithin(const std::shared_ptr<LookupJob>& job, const std::function<bool(LookupJob&)>& work, int timeoutMs,
               const std::function<void()>& idle, std::string* why)
{
    try {
        std::thread([job, work] {
            const bool ok = work(*job);
            std::lock_guard<std::mutex> hold(job->lock);
            job->ok = ok;
            job->done = true;
            job->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        if (why)
            *why = "The desktop keyring could not be asked: no thread to be had.";
        return false;
    }
    struct CallOff {
        LookupJob& job;
        ~CallOff() { Library().cancel(job.cancel); }
    } callOff{*job};
    if (timeoutMs <= 0)
        timeoutMs = kDefaultWaitMs;
    const auto deadline = job->start + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        {
            std::unique_lock<std::mutex> hold(job->lock);
            job->finished.wait_until(hold, std::min(deadline, std::chrono::steady_clock::now() + kWaitSlice),
                                     [&] { return job->done; });
            if (job->done) {
                if (!job->ok && why)
                    *why = job->why;
                return job->ok;
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            if (why)
                *why = NoAnswer(timeoutMs, job->unlocking);
            return false;
        }
        if (idle)
            idle();
    }
}

} // namespace

std::optional<std::string> Lookup(const std::string& account, const std::string& host, int timeoutMs,
                                  const std::function<void()>& idle, std::string* why)
{
    if (!BusThere(why))
        return std::nullopt;
    auto job = std::make_shared<LookupJob>();
    const bool found = RunWithin(
        job,
        [account, host](LookupJob& j) {
            RunLookup(j, account, host);
            return j.secret.has_value();
        },
        timeoutMs, idle, why);
    if (!found)
        return std::nullopt;
    std::lock_guard<std::mutex> hold(job->lock);
    return job->secret;
}

std::optional<std::string> Lookup(const std::string& account, const std::string& host, std::string* why)
{
    return Lookup(account, host, kDefaultWaitMs, {}, why);
}

bool Store(const std::string& account, const std::string& host, const std::string& password, std::string* why,
           int timeoutMs, const std::function<void()>& idle)
{
    if (!BusThere(why))
        return false;
    return RunWithin(
        std::make_shared<LookupJob>(),
        [account, host, password](LookupJob& job) {
            GError* error = nullptr;
            const std::string label = "Pelko: " + account + " (" + host + ")";
            const gboolean ok = Library().store(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(), password.c_str(),
                                                job.cancel, &error, "account", account.c_str(), "host",
                                                host.c_str(), nullptr);
            if (error || !ok) {
                Take(error, job.Elapsed(), &job.why);
                return false;
            }
            return true;
        },
        timeoutMs, idle, why);
}

bool Remove(const std::string& account, const std::string& host, int timeoutMs, const std::function<void()>& idle)
{
    if (!BusThere(nullptr))
        return false;
    return RunWithin(
        std::make_shared<LookupJob>(),
        [account, host](LookupJob& job) {
            GError* error = nullptr;
            const gboolean removed = Library().clear(Schema(), job.cancel, &error, "account", account.c_str(),
                                                     "host", host.c_str(), nullptr);
            if (error)
                Library().errorFree(error);
            return removed != FALSE;
        },
        timeoutMs, idle, nullptr);
}

} // namespace pelko::keyring
