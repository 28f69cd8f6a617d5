// Where a login's secret comes from: a token command that prints, fails or
// hangs, and the desktop keyring (present or not).
#include "config/Keyring.h"
#include "session/Pop3Mailbox.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace pelko {
namespace {

// A token goes over TLS only: the token commands' account is a pop3s one.
std::string Prepared(const std::string& field, int timeoutMs = 5000, SecretKind* kind = nullptr,
                     const std::function<void()>& idle = {}, std::string host = {})
{
    if (host.empty())
        host = field.rfind("{pelko:command}", 0) == 0 ? "pop3s://pop.example.org" : "pop.example.org";
    TWirePOP3 pop;
    pop.Timeout = timeoutMs;
    try {
        PrepareLogin(pop, {"Work", host, "", ReadAccountAuth(field)}, idle);
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

// True once the process whose number the file holds has ended (within a
// second); an ended process nobody collected counts as ended.
bool Gone(const std::string& pidFile)
{
    std::ifstream in(pidFile);
    pid_t pid = 0;
    if (!(in >> pid) || pid <= 0)
        return false;
    for (int i = 0; i < 100; ++i) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string number, name, state;
        if (!(stat >> number >> name >> state) || state == "Z")
            return true;
        ::usleep(10000);
    }
    return false;
}

TEST(LoginSecret, TheTokenIsTheFirstLineAndTheCommandEndsWithItsGroup)
{
    char dir[] = "/tmp/pelko-token-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string pidFile = std::string(dir) + "/helper.pid";
    const std::string helper = "sleep 30 & echo $! >" + pidFile + "; ";
    const struct {
        std::string command;
        int timeoutMs, maxMs;
        std::string want;
        bool helperLeft; // a helper whose end is checked
    } rows[] = {
        // printing for ever: the first line, and no waiting for the rest
        {"yes tok", 5000, 2000, "tok", false},
        // done, while a helper it left keeps the output open
        {"sh -c '" + helper + "echo tok'", 5000, 2000, "tok", true},
        // timed out: the helper goes with it
        {"sh -c '" + helper + "sleep 30'", 300, 1000,
         "error: The token command \"sh -c '" + helper + "sleep 30'\" did not finish within 0.3 s.", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.command);
        ::unlink(pidFile.c_str());
        int idles = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Prepared("{pelko:command}" + r.command, r.timeoutMs, nullptr, [&] { ++idles; }), r.want);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(r.maxMs));
        if (took > std::chrono::milliseconds(200)) {
            EXPECT_GT(idles, 5) << "the caller's events run while the command is waited for";
        }
        if (r.helperLeft) {
            EXPECT_TRUE(Gone(pidFile)) << "the command's helper is still there";
        }
    }
    ::unlink(pidFile.c_str());
    ::rmdir(dir);
}

TEST(LoginSecret, ASecretWithALineBreakNeverReachesTheServer)
{
    const std::string refused = " holds a line break or a NUL byte; it is not sent to the server.";
    const struct {
        std::string field, want;
    } rows[] = {
        {"pw\r\nDELE 1\r\nDELE 2", "error: The password for Work (pop.example.org) in Accounts.ini" + refused},
        {"copied\n", "error: The password for Work (pop.example.org) in Accounts.ini" + refused},
        {"{pelko:password:plain}a\rb", "error: The password for Work (pop.example.org) in Accounts.ini" + refused},
        {std::string("nul\0byte", 8), "error: The password for Work (pop.example.org) in Accounts.ini" + refused},
        {"{pelko:command}printf 'tok\\rDELE 1\\n'",
         "error: The token for Work (pop3s://pop.example.org) printed by its token command" + refused},
        {"{pelko:command}printf 'tok\\r\\n'", "tok"}, // the line's own end
        {"pass word", "pass word"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Prepared(r.field), r.want) << r.field;
}

TEST(LoginSecret, NoTokenIsFetchedForAPlainConnection)
{
    const std::string ran = ::testing::TempDir() + "pelko-token-command-ran";
    ::unlink(ran.c_str());
    EXPECT_EQ(Prepared("{pelko:command}touch " + ran, 5000, nullptr, {}, "mail.example.org"),
              "error: " + kTokenNeedsTlsText);
    EXPECT_NE(::access(ran.c_str(), F_OK), 0) << "the token command ran";
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

namespace pelko {
namespace {

// Run by its own test entries, each on a private session bus with the
// test's own Secret Service (tests/support/fake-secret-service.py) in the
// mode PELKO_KEYRING_FAKE names.
TEST(KeyringFake, TheWaitIsBoundedAndSaysWhatHappened)
{
    const char* mode = std::getenv("PELKO_KEYRING_FAKE");
    if (!mode)
        GTEST_SKIP() << "runs in the keyring test entries, on a private session bus";
    const std::string refused = " holds a line break or a NUL byte; it is not sent to the server.";
    const struct {
        std::string mode, want;
    } rows[] = {
        {"none", std::string("error: ") + keyring::kNotAvailableText},
        {"silent", "error: No answer from the desktop keyring within 0.8 s."},
        {"prompt-open", "error: The desktop keyring is locked. Its unlock prompt was not answered within 0.8 s."},
        {"prompt-dismissed", "error: The desktop keyring is locked."},
        {"open", "error: The password for Work (pop.example.org) in the desktop keyring" + refused},
        {"refusing", "error: The desktop keyring failed: GDBus.Error:org.freedesktop.DBus.Error.AccessDenied: no [31m"},
    };
    for (const auto& r : rows) {
        if (r.mode != mode)
            continue;
        int idles = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Prepared("{pelko:keyring}", 800, nullptr, [&] { ++idles; }), r.want);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the login time-out bounds the keyring";
        if (took > std::chrono::milliseconds(300)) {
            EXPECT_GT(idles, 5) << "the caller's events run while the keyring is waited for";
        }
        // Called off from idle (a Disconnect click): the wait ends at once.
        struct GiveUp {};
        const auto off = std::chrono::steady_clock::now();
        std::string why;
        try {
            keyring::Lookup("Work", "pop.example.org", 60000, [] { throw GiveUp{}; }, &why);
        } catch (const GiveUp&) {
        }
        EXPECT_LT(std::chrono::steady_clock::now() - off, std::chrono::milliseconds(500));
        // Keeping a password (the configuration dialog) is bounded as well.
        if (r.mode == "silent") {
            const auto storing = std::chrono::steady_clock::now();
            EXPECT_FALSE(keyring::Store("Work", "pop.example.org", "pw", &why, 800));
            EXPECT_EQ(why, "No answer from the desktop keyring within 0.8 s.");
            EXPECT_LT(std::chrono::steady_clock::now() - storing, std::chrono::milliseconds(1500));
        }
        return;
    }
    FAIL() << "no row for the mode " << mode;
}

} // namespace
} // namespace pelko
