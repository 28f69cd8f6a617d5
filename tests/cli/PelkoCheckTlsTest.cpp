// pelko-check with the host forms of TLS accounts, against the test dovecot
// (user 14 belongs to this test).
#include "Dovecot.h"
#include "TestCertificates.h"
#include "config/Scramble.h"
#include "wire/TlsTransport.h"

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace pelko;

namespace {

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs the built pelko-check (next to the test binaries) with this process's
// environment, so SSL_CERT_FILE reaches it, and input on its stdin; returns
// its exit status.
int RunCheck(const std::vector<std::string>& args, const std::string& dir, std::string& out,
             const std::string& input = "")
{
    const std::string inPath = dir + "/stdin";
    std::ofstream(inPath, std::ios::binary) << input;
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string bin(buf, n > 0 ? static_cast<size_t>(n) : 0);
    bin = bin.substr(0, bin.rfind('/')) + "/../bin/pelko-check";
    const std::string outPath = dir + "/stdout";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, (dir + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv{const_cast<char*>(bin.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    int status = -1;
    if (posix_spawn(&pid, bin.c_str(), &fa, nullptr, argv.data(), environ) == 0) {
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    out = ReadFile(outPath);
    return status;
}

std::string Account(int n, const std::string& name, const std::string& host, int user)
{
    return "\r\n[Account" + std::to_string(n) + "]\r\nacc_name = " + name + "\r\nhost_name = " + host +
           "\r\nuser_name = " + DovecotUser(user) + "\r\npassword = " + Scramble(DovecotPassword(user), kPasswordKey) +
           "\r\ninactive = 0\r\n";
}

} // namespace

TEST(PelkoCheckTls, TheTlsHostFormsWork)
{
    if (!DovecotTlsAvailable())
        GTEST_SKIP() << "no test dovecot with TLS";
    TrustTestCertificates();
    char tmpl[] = "/tmp/pelko-cli-tls-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    DovecotClearMailbox(14);
    DovecotAddMessage(14, "Subject: s\r\n\r\nx\r\n");
    const std::string tls = std::to_string(DovecotTlsPort()), plain = std::to_string(DovecotPort());
    std::ofstream(dir + "/Accounts.ini", std::ios::binary)
        << Account(1, "Implicit", "pop3s://localhost:" + tls, 14)
        << Account(2, "Upgraded", "pop3://127.0.0.1:" + plain + "?starttls", 14)
        << Account(3, "PlainPort", "pop3s://localhost:" + plain, 14) // a plain server where TLS was asked for
        << Account(4, "Typo", "pop3s://localhost:" + tls + "?startls", 14);

    std::string out;
    EXPECT_EQ(RunCheck({"--dir", dir, "--timeout", "10000"}, dir, out), 1);
    EXPECT_EQ(out, "Implicit: 1\nUpgraded: 1\n"
                   "PlainPort: error: TLS handshake failed: the server did not answer in TLS: is this the right port?\n"
                   "Typo: error: Cannot use the server address \"pop3s://localhost:" +
                       tls + "?startls\": the only option is \"?starttls\".\n");
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(PelkoCheckTls, TheImapHostFormsCountTellAndDumpWithoutMarkingRead)
{
    if (DovecotImapsPort() <= 0)
        GTEST_SKIP() << "no test dovecot with imapd and TLS";
    TrustTestCertificates();
    char tmpl[] = "/tmp/pelko-cli-imap-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    DovecotClearMailbox(14);
    DovecotAddMessage(14, "Subject: one\r\n\r\nx\r\n");
    const std::string imaps = std::to_string(DovecotImapsPort()), imap = std::to_string(DovecotImapPort());
    std::ofstream(dir + "/Accounts.ini", std::ios::binary)
        << Account(1, "Implicit", "imaps://localhost:" + imaps, 14)
        << Account(2, "Upgraded", "imap://127.0.0.1:" + imap + "?starttls", 14)
        << Account(3, "Plain", "imap://127.0.0.1:" + imap + "/INBOX", 14);
    const std::vector<std::string> json{"--dir", dir, "--json", "--account", "Implicit", "--timeout", "10000"};

    std::string out;
    EXPECT_EQ(RunCheck({"--dir", dir, "--timeout", "10000"}, dir, out), 0);
    EXPECT_EQ(out, "Implicit: 1\nUpgraded: 1\nPlain: 1\n");
    EXPECT_EQ(RunCheck(json, dir, out), 0);
    EXPECT_EQ(out, "{\"accounts\":[{\"name\":\"Implicit\",\"count\":1,\"new\":0,\"new_messages\":[]}],\"ok\":true}\n");
    DovecotAddMessage(14, "From: Ann <ann@example.org>\r\nSubject: two\r\n\r\nThe text of two.\r\n");
    EXPECT_EQ(RunCheck(json, dir, out), 0);
    EXPECT_EQ(out, "{\"accounts\":[{\"name\":\"Implicit\",\"count\":2,\"new\":1,\"new_messages\":["
                   "{\"number\":2,\"from\":\"Ann <ann@example.org>\",\"subject\":\"two\"}]}],\"ok\":true}\n");
    EXPECT_EQ(RunCheck(json, dir, out), 0);
    EXPECT_NE(out.find("\"new\":0,"), std::string::npos) << out;

    EXPECT_EQ(RunCheck({"--dir", dir, "--account", "Plain", "--dump", "2"}, dir, out), 0);
    EXPECT_EQ(out.rfind("From : Ann <ann@example.org>\nSubj : two\n", 0), 0u) << out;
    EXPECT_NE(out.find("The text of two."), std::string::npos) << out;
    EXPECT_EQ(RunCheck({"--dir", dir, "--account", "Upgraded", "--dump", "2", "--headers-only"}, dir, out), 0);
    EXPECT_NE(out.find("Subj : two\n"), std::string::npos) << out;
    EXPECT_EQ(out.find("The text of two."), std::string::npos) << out;
    EXPECT_EQ(RunCheck({"--dir", dir, "--account", "Plain"}, dir, out), 0);
    EXPECT_EQ(out, "Plain: 2\n") << "what was shown is still unread";
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(PelkoCheckTls, ACertificateTrustedForAnAccountIsKeptInThePinFile)
{
    if (!DovecotTlsAvailable())
        GTEST_SKIP() << "no test dovecot with TLS";
    // A store without the server's own certificate, as on a desktop.
    const std::string store = WriteTrustFile("no-dovecot", TestCertificate(TestCert::Trusted).certPem);
    ASSERT_EQ(::setenv("SSL_CERT_FILE", store.c_str(), 1), 0);
    FILE* pem = std::fopen(DovecotCertFile().c_str(), "r");
    ASSERT_NE(pem, nullptr);
    X509* cert = PEM_read_X509(pem, nullptr, nullptr, nullptr);
    std::fclose(pem);
    const std::string fp = Sha256Fingerprint(cert);
    X509_free(cert);
    char tmpl[] = "/tmp/pelko-cli-pin-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl;
    const std::string tls = std::to_string(DovecotTlsPort());
    std::ofstream(dir + "/Accounts.ini", std::ios::binary)
        << Account(1, "Home", "pop3s://localhost:" + tls, 14) << Account(2, "Other", "pop3s://localhost:" + tls, 14);
    const std::string refused = "error: TLS certificate problem: self-signed certificate\n";

    std::string out;
    EXPECT_EQ(RunCheck({"--dir", dir, "--account", "Home"}, dir, out), 1);
    EXPECT_EQ(out, "Home: " + refused);
    EXPECT_EQ(ReadFile(dir + "/stderr"), "pelko-check: Home: the server's certificate has the SHA-256 fingerprint " + fp +
                                             "; if it is your server's, trust it with: pelko-check "
                                             "--trust-certificate 'Home'\n");
    EXPECT_EQ(RunCheck({"--dir", dir, "--trust-certificate", "Home"}, dir, out, "no\n"), 1);
    EXPECT_NE(out.find("SHA-256 fingerprint: " + fp + "\n"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir + "/Pelko.pins"), "");
    EXPECT_EQ(RunCheck({"--dir", dir, "--trust-certificate", "Home"}, dir, out, "yes\n"), 0);
    const std::string pins = ReadFile(dir + "/Pelko.pins");
    EXPECT_NE(pins.find("\nHome\tlocalhost\t" + tls + "\t" + fp + "\n"), std::string::npos) << pins;

    // Trusted for Home alone.
    EXPECT_EQ(RunCheck({"--dir", dir}, dir, out), 1);
    EXPECT_EQ(out.rfind("Home: ", 0), 0u);
    EXPECT_EQ(out.find("Home: error"), std::string::npos) << out;
    EXPECT_NE(out.find("\nOther: " + refused), std::string::npos) << out;

    // Over IMAP's STARTTLS the probe takes IMAP's own step to the handshake.
    if (DovecotImapPort() > 0) {
        const std::string imap = "imap://localhost:" + std::to_string(DovecotImapPort()) + "?starttls";
        std::ofstream(dir + "/Accounts.ini", std::ios::binary | std::ios::app) << Account(3, "Mail", imap, 14);
        EXPECT_EQ(RunCheck({"--dir", dir, "--trust-certificate", "Mail"}, dir, out, "no\n"), 1);
        EXPECT_NE(out.find("SHA-256 fingerprint: " + fp + "\n"), std::string::npos) << out;
    }

    // Another certificate on that server: refused, saying so and naming it.
    std::string changed = pins;
    const size_t at = changed.find(fp);
    changed.replace(at, 2, fp.compare(0, 2, "00") == 0 ? "11" : "00");
    std::ofstream(dir + "/Pelko.pins", std::ios::binary | std::ios::trunc) << changed;
    EXPECT_EQ(RunCheck({"--dir", dir, "--account", "Home"}, dir, out), 1);
    EXPECT_EQ(out, "Home: error: TLS certificate problem: the server's certificate has changed since you trusted it. "
                   "Its SHA-256 fingerprint is now " + fp + "\n");
    TrustTestCertificates();
    std::filesystem::remove_all(dir);
}
