// Where a login's secret comes from: a token command that prints, fails or
// hangs, and the desktop keyring (present or not).
#include "config/Keyring.h"
#include "session/LoginSecret.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace pelko {
namespace {

std::string Prepared(const std::string& field, int timeoutMs = 5000, SecretKind* kind = nullptr)
{
    TWirePOP3 pop;
    pop.Host = "pop.example.org";
    pop.Password = field;
    pop.Timeout = timeoutMs;
    try {
        PrepareLogin(pop, "Work", {});
    } catch (const EWireException& e) {
        return std::string("error: ") + e.what();
    }
    if (kind)
        *kind = pop.Secret;
    return pop.Password;
}

TEST(LoginSecret, TokenCommandPrintsFailsOrHangs)
{
    SecretKind kind = SecretKind::Password;
    EXPECT_EQ(Prepared("{pelko:command}sh -c 'printf \"ya29.tok \\\\r\\\\nsecond\\\\n\"'", 5000, &kind), "ya29.tok");
    EXPECT_EQ(kind, SecretKind::Token);
    EXPECT_EQ(Prepared("{pelko:command}sh -c 'exit 3'"), "error: The token command \"sh -c 'exit 3'\" failed (exit status 3).");
    EXPECT_EQ(Prepared("{pelko:command}true"), "error: The token command \"true\" printed no token.");
    EXPECT_EQ(Prepared("{pelko:command}/no/such/helper").rfind("error: The token command \"/no/such/helper\" could not be started", 0), 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Prepared("{pelko:command}sleep 10", 300), "error: The token command \"sleep 10\" did not finish within 0.3 s.");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(Prepared("{pelko:password:plain}pw"), "pw");
}

TEST(LoginSecret, WithoutAKeyringTheUserIsToldSo)
{
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string saved = bus ? bus : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_EQ(Prepared("{pelko:keyring}"), std::string("error: ") + keyring::kNotAvailableText);
    std::string why;
    EXPECT_FALSE(keyring::Store("Work", "pop.example.org", "pw", &why));
    EXPECT_EQ(why, keyring::kNotAvailableText);
    if (bus)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
}

// Run by its own test entry inside a private session bus with a keyring.
TEST(Keyring, RoundTripThroughTheSecretService)
{
    if (!std::getenv("PELKO_KEYRING_TEST"))
        GTEST_SKIP() << "runs in the keyring test entry, on a private session bus";
    std::string why;
    ASSERT_TRUE(keyring::Store("Work", "pop.example.org", "s3cret", &why)) << why;
    EXPECT_EQ(Prepared("{pelko:keyring}"), "s3cret");
    EXPECT_TRUE(keyring::Remove("Work", "pop.example.org"));
    EXPECT_EQ(Prepared("{pelko:keyring}"), "error: The desktop keyring holds no password for Work (pop.example.org).");
}

} // namespace
} // namespace pelko
