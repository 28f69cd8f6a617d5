#include "config/Keyring.h"

#include <libsecret/secret.h>

#include <cstdlib>
#include <dlfcn.h>

namespace pelko::keyring {

const char* const kNotAvailableText =
    "The desktop keyring is not available (no Secret Service on the session bus).";

namespace {

// libsecret (and GLib with it) is loaded at the first use of the keyring:
// most runs never need it, and pelko-check counts mail in milliseconds.
struct Secrets {
    decltype(&secret_password_lookup_sync) lookup = nullptr;
    decltype(&secret_password_store_sync) store = nullptr;
    decltype(&secret_password_clear_sync) clear = nullptr;
    decltype(&secret_password_free) free = nullptr;
    decltype(&g_error_free) errorFree = nullptr;
    bool loaded() const { return lookup && store && clear && free && errorFree; }
};

const Secrets& Library()
{
    static const Secrets s = [] {
        Secrets l;
        void* h = dlopen("libsecret-1.so.0", RTLD_LAZY | RTLD_LOCAL);
        if (!h)
            return l;
        l.lookup = reinterpret_cast<decltype(&secret_password_lookup_sync)>(dlsym(h, "secret_password_lookup_sync"));
        l.store = reinterpret_cast<decltype(&secret_password_store_sync)>(dlsym(h, "secret_password_store_sync"));
        l.clear = reinterpret_cast<decltype(&secret_password_clear_sync)>(dlsym(h, "secret_password_clear_sync"));
        l.free = reinterpret_cast<decltype(&secret_password_free)>(dlsym(h, "secret_password_free"));
        l.errorFree = reinterpret_cast<decltype(&g_error_free)>(dlsym(h, "g_error_free"));
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

void Take(GError* error, std::string* why)
{
    if (!error)
        return;
    if (why)
        *why = std::string(kNotAvailableText) + "\r" + error->message;
    Library().errorFree(error);
}

} // namespace

std::optional<std::string> Lookup(const std::string& account, const std::string& host, std::string* why)
{
    if (!BusThere(why))
        return std::nullopt;
    GError* error = nullptr;
    gchar* secret = Library().lookup(Schema(), nullptr, &error, "account", account.c_str(), "host",
                                                host.c_str(), nullptr);
    if (error) {
        Take(error, why);
        return std::nullopt;
    }
    if (!secret) {
        if (why)
            *why = "The desktop keyring holds no password for " + account + " (" + host + ").";
        return std::nullopt;
    }
    std::string out(secret);
    Library().free(secret);
    return out;
}

bool Store(const std::string& account, const std::string& host, const std::string& password, std::string* why)
{
    if (!BusThere(why))
        return false;
    GError* error = nullptr;
    const std::string label = "Pelko: " + account + " (" + host + ")";
    const gboolean ok = Library().store(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                                   password.c_str(), nullptr, &error, "account", account.c_str(),
                                                   "host", host.c_str(), nullptr);
    if (error || !ok) {
        Take(error, why);
        return false;
    }
    return true;
}

bool Remove(const std::string& account, const std::string& host)
{
    if (!BusThere(nullptr))
        return false;
    GError* error = nullptr;
    const gboolean removed =
        Library().clear(Schema(), nullptr, &error, "account", account.c_str(), "host", host.c_str(), nullptr);
    if (error)
        Library().errorFree(error);
    return removed;
}

} // namespace pelko::keyring
