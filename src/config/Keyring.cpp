#include "config/Keyring.h"

#include <libsecret/secret.h>

#include <cstdlib>

namespace pelko::keyring {

const char* const kNotAvailableText =
    "The desktop keyring is not available (no Secret Service on the session bus).";

namespace {

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
    if (bus && *bus)
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
    g_error_free(error);
}

} // namespace

std::optional<std::string> Lookup(const std::string& account, const std::string& host, std::string* why)
{
    if (!BusThere(why))
        return std::nullopt;
    GError* error = nullptr;
    gchar* secret = secret_password_lookup_sync(Schema(), nullptr, &error, "account", account.c_str(), "host",
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
    secret_password_free(secret);
    return out;
}

bool Store(const std::string& account, const std::string& host, const std::string& password, std::string* why)
{
    if (!BusThere(why))
        return false;
    GError* error = nullptr;
    const std::string label = "Pelko: " + account + " (" + host + ")";
    const gboolean ok = secret_password_store_sync(Schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
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
        secret_password_clear_sync(Schema(), nullptr, &error, "account", account.c_str(), "host", host.c_str(), nullptr);
    if (error)
        g_error_free(error);
    return removed;
}

} // namespace pelko::keyring
