// pelko-check end to end: the built binary against the test dovecot
// (users 11 to 14 belong to these tests).
#include "Dovecot.h"
#include "ScriptedPeer.h"
#include "config/Scramble.h"

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <sys/file.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace pelko;

namespace {

std::string Crlf(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string CheckBinary()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string self(buf, n > 0 ? static_cast<size_t>(n) : 0);
    return self.substr(0, self.rfind('/')) + "/../bin/pelko-check";
}

struct CliRun {
    int status = -1;
    std::string out, err;
    long peakKb = 0; // largest resident size of the run
};

CliRun RunCheck(const std::vector<std::string>& args, const std::string& workDir)
{
    const std::string outPath = workDir + "/stdout", errPath = workDir + "/stderr";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const std::string bin = CheckBinary();
    std::vector<char*> argv{const_cast<char*>(bin.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    CliRun r;
    if (posix_spawn(&pid, bin.c_str(), &fa, nullptr, argv.data(), environ) == 0) {
        int ws = 0;
        struct rusage usage {};
        ::wait4(pid, &ws, 0, &usage);
        r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
        r.peakKb = usage.ru_maxrss;
    }
    posix_spawn_file_actions_destroy(&fa);
    r.out = ReadAll(outPath);
    r.err = ReadAll(errPath);
    return r;
}

struct Account {
    std::string name, host, user, password;
    bool inactive = false;
};

// Accounts.ini exactly as the configuration dialog writes it.
std::string AccountsFile(const std::vector<Account>& accounts)
{
    std::string text;
    int n = 0;
    for (const Account& a : accounts) {
        text += "\r\n[Account" + std::to_string(++n) + "]\r\n";
        text += "acc_name = " + a.name + "\r\nhost_name = " + a.host + "\r\nuser_name = " + a.user +
                "\r\npassword = " + Scramble(a.password, kPasswordKey) + "\r\ninactive = " +
                (a.inactive ? "1" : "0") + "\r\n";
    }
    return text;
}

class PelkoCheck : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!DovecotAvailable())
            GTEST_SKIP() << "no test dovecot";
        char tmpl[] = "/tmp/pelko-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir = tmpl;
        ASSERT_EQ(::access(CheckBinary().c_str(), X_OK), 0) << "build pelko-check first: " << CheckBinary();
        host = "127.0.0.1:" + std::to_string(DovecotPort());
    }
    void TearDown() override
    {
        if (!dir.empty()) {
            EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
        }
    }
    Account Box(const std::string& name, int user) const
    {
        return {name, host, DovecotUser(user), DovecotPassword(user)};
    }
    std::string dir, host;
};

// A message with a text part (one line starting with a dot) and a Base64 attachment.
const std::string kAttachmentBytes = std::string("\x00\x01\x02\xff\xfe binary\r\n\x1a end", 19);
const std::string kMessageLF = "From: Ann <ann@example.org>\n"
                               "To: joe@example.org\n"
                               "Subject: Report\n"
                               "Date: Tue, 5 Jan 1999 10:00:00 +0000\n"
                               "Content-Type: multipart/mixed; boundary=\"sep\"\n"
                               "\n"
                               "--sep\n"
                               "Content-Type: text/plain\n"
                               "\n"
                               "Hello Joe,\n"
                               ".dot at the start\n"
                               "--sep\n"
                               "Content-Type: application/octet-stream\n"
                               "Content-Transfer-Encoding: base64\n"
                               "Content-Disposition: attachment; filename=\"../report.bin\"\n"
                               "\n"
                               "AAEC//4gYmluYXJ5DQoaIGVuZA==\n"
                               "--sep--\n";

} // namespace

TEST_F(PelkoCheck, ChecksActiveAccountsAndReportsEach)
{
    DovecotClearMailbox(11);
    DovecotClearMailbox(12);
    DovecotAddMessage(11, Crlf("Subject: a\n\nx\n"));
    DovecotAddMessage(11, Crlf("Subject: b\n\ny\n"));
    Account wrong = Box("Bad", 12);
    wrong.password = "wrong";
    Account off = Box("Off", 12);
    off.host = "127.0.0.1:1"; // nothing listens there
    off.inactive = true;
    WriteAll(dir + "/Accounts.ini", AccountsFile({Box("Home", 11), off, Box("Work", 12), wrong}));

    CliRun r = RunCheck({"--dir", dir}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Home: 2\nWork: 0\nBad: error: -ERR [AUTH] Authentication failed.\n");

    r = RunCheck({"--dir", dir, "--json"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "{\"accounts\":[{\"name\":\"Home\",\"count\":2,\"new\":0,\"new_messages\":[]},"
                     "{\"name\":\"Work\",\"count\":0,\"new\":0,\"new_messages\":[]},"
                     "{\"name\":\"Bad\",\"error\":\"-ERR [AUTH] Authentication failed.\"}],\"ok\":false}\n");

    r = RunCheck({"--dir", dir, "--account", "Home"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Home: 2\n");

    // An inactive account is checked when named; line breaks become blanks.
    r = RunCheck({"--dir", dir, "--account", "Off"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Off: error: Socket Error #10061 Connection refused.\n");
}

TEST_F(PelkoCheck, JsonTellsTheMessagesNotListedAtThePreviousCheck)
{
    DovecotClearMailbox(28);
    DovecotAddMessage(28, Crlf("From: Old <old@example.org>\nSubject: old\n\nx\n"));
    WriteAll(dir + "/Accounts.ini", AccountsFile({Box("Home", 28)}));
    const std::vector<std::string> json{"--dir", dir, "--json"};
    const std::string none = "{\"accounts\":[{\"name\":\"Home\",\"count\":3,\"new\":0,\"new_messages\":[]}],\"ok\":true}\n";
    EXPECT_NE(RunCheck(json, dir).out.find("\"count\":1,\"new\":0,"), std::string::npos) << "nothing on record yet";

    DovecotAddMessage(28, Crlf("From: Ann <ann@example.org>\nSubject: =?UTF-8?Q?caf=C3=A9?=\n\nx\n"));
    DovecotAddMessage(28, Crlf("From: Bob <bob@example.org>\nSubject: \"two\"\n\nx\n"));
    std::vector<std::string> noState = json;
    noState.push_back("--no-state");
    const std::string two = "{\"accounts\":[{\"name\":\"Home\",\"count\":3,\"new\":2,\"new_messages\":["
                            "{\"number\":2,\"from\":\"Ann <ann@example.org>\",\"subject\":\"caf\xC3\xA9\"},"
                            "{\"number\":3,\"from\":\"Bob <bob@example.org>\",\"subject\":\"\\\"two\\\"\"}]}],"
                            "\"ok\":true}\n";
    EXPECT_EQ(RunCheck(noState, dir).out, two);
    EXPECT_EQ(RunCheck(json, dir).out, two) << "--no-state left the record as it was";
    EXPECT_EQ(RunCheck(json, dir).out, none);
    // A damaged record reads as nothing seen: no news, no error.
    WriteAll(dir + "/Pelko.seen", std::string("\x00\xff junk", 7));
    const CliRun r = RunCheck(json, dir);
    EXPECT_EQ(r.out, none);
    EXPECT_EQ(r.status, 0);
}

TEST_F(PelkoCheck, UsageErrors)
{
    WriteAll(dir + "/Accounts.ini", AccountsFile({Box("Home", 11)}));
    EXPECT_EQ(RunCheck({"--frobnicate"}, dir).status, 2);
    EXPECT_EQ(RunCheck({"--dump", "0", "--dir", dir}, dir).status, 2);
    EXPECT_EQ(RunCheck({"--dump", "1", "--parse", "x"}, dir).status, 2);
    EXPECT_EQ(RunCheck({"--dir"}, dir).status, 2);
    EXPECT_EQ(RunCheck({"--dir", dir, "--no-state"}, dir).status, 2);
    const CliRun r = RunCheck({"--dir", dir, "--account", "Nobody"}, dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Nobody"), std::string::npos);
    EXPECT_EQ(RunCheck({"--help"}, dir).status, 0);
    // No accounts at all is a failed check, not a usage error.
    ::unlink((dir + "/Accounts.ini").c_str());
    EXPECT_EQ(RunCheck({"--dir", dir}, dir).status, 1);
}

TEST_F(PelkoCheck, FoldersItCannotTrustOrReadAreNamed)
{
    // The account's token command would run as whoever runs pelko-check.
    const std::string ran = dir + "/token-command-ran";
    const std::string accounts =
        AccountsFile({{"Home", "127.0.0.1:1", "u", "{pelko:command:xoauth2}touch " + ran}});
    const bool root = ::geteuid() == 0;
    struct Row {
        const char* what;
        std::function<void()> make;
        std::string dirArg, err;
    } rows[] = {
        {"a folder others can write to", [&] { ::chmod(dir.c_str(), 0777); }, dir,
         "Not using " + dir + "/: other users can write to " + dir + " (mode 0777)"},
        {"an Accounts.ini of another user",
         [&] {
             if (root) {
                 ASSERT_EQ(::chown((dir + "/Accounts.ini").c_str(), 65534, 65534), 0);
             }
         },
         dir,
         root ? "Not using " + dir + "/Accounts.ini: " + dir + "/Accounts.ini belongs to another user (uid 65534)"
              : std::string()},
        {"no such folder", [] {}, dir + "/none", "cannot read " + dir + "/none/: No such file or directory"},
        {"a file for a folder", [] {}, dir + "/Accounts.ini", "cannot read " + dir + "/Accounts.ini/: Not a directory"},
        {"no Accounts.ini", [&] { ::unlink((dir + "/Accounts.ini").c_str()); }, dir,
         "cannot read " + dir + "/Accounts.ini: No such file or directory"},
        {"a 2 MB Accounts.ini", [&] { WriteAll(dir + "/Accounts.ini", accounts + std::string(2 << 20, ';')); }, dir,
         "cannot read " + dir + "/Accounts.ini: bigger than the 1 MiB an account file may have"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        if (r.err.empty())
            continue;
        ::chmod(dir.c_str(), 0700);
        WriteAll(dir + "/Accounts.ini", accounts);
        r.make();
        const CliRun run = RunCheck({"--dir", r.dirArg, "--json"}, dir);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "pelko-check: " + r.err + "\n");
    }
    EXPECT_NE(::access(ran.c_str(), F_OK), 0);
}

TEST_F(PelkoCheck, NewMessagesAreToldWhenNamingThemBreaksOff)
{
    ScriptedPeer peer("S: +OK ready\nC: User u\nS: +OK\nC: Pass p\nS: +OK\nC: UIDL\nS: +OK\nS: 1 a\nS: 2 b\n"
                      "S: 3 c\nS: .\nC: TOP 2 0\nS: +OK\nS: Subject: b\nS:\nS: .\nC: TOP 3 0\nCLOSE\n");
    const std::string host = "127.0.0.1:" + std::to_string(peer.port());
    WriteAll(dir + "/Accounts.ini", AccountsFile({{"Home", host, "u", "p"}}));
    // The first form of the record: the ids as the server gives them.
    WriteAll(dir + "/Pelko.seen", "pelko-seen 1\naccount Home\t" + host + "\tu\na\n");
    const CliRun r = RunCheck({"--dir", dir, "--json"}, dir);
    // The count and both new messages are reported, the one that could
    // not be named by its number: recording them loses nothing.
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"accounts\":[{\"name\":\"Home\",\"count\":3,\"new\":2,\"new_messages\":[{\"number\":2,"
                     "\"from\":\"\",\"subject\":\"b\"},{\"number\":3,\"from\":\"\",\"subject\":\"\"}]}],\"ok\":true}\n");
    EXPECT_TRUE(peer.finish(10000));
}

TEST_F(PelkoCheck, DumpAndParseShowTheSameTextAndFiles)
{
    DovecotClearMailbox(13);
    DovecotAddMessage(13, Crlf(kMessageLF));
    WriteAll(dir + "/Accounts.ini", AccountsFile({Box("Mail", 13)}));
    ::mkdir((dir + "/fetched").c_str(), 0700);
    ::mkdir((dir + "/parsed").c_str(), 0700);

    const CliRun dump = RunCheck({"--dir", dir, "--dump", "1", "--save-dir", dir + "/fetched"}, dir);
    ASSERT_EQ(dump.status, 0) << dump.out << dump.err;
    EXPECT_EQ(dump.out.rfind("From : Ann <ann@example.org>\nSubj : Report\nDate : ", 0), 0u) << dump.out;
    EXPECT_NE(dump.out.find("\nFile : 1\n" + std::string(26, '_') + "\n\nHello Joe,\n.dot at the start\n"),
              std::string::npos)
        << dump.out;
    EXPECT_EQ(ReadAll(dir + "/fetched/report.bin"), kAttachmentBytes); // never outside the directory

    WriteAll(dir + "/message.eml", kMessageLF);
    const CliRun parse = RunCheck({"--parse", dir + "/message.eml", "--save-dir", dir + "/parsed"}, dir);
    ASSERT_EQ(parse.status, 0) << parse.err;
    EXPECT_EQ(parse.out, dump.out);
    EXPECT_EQ(ReadAll(dir + "/parsed/report.bin"), kAttachmentBytes);

    const CliRun headers = RunCheck({"--dir", dir, "--dump", "1", "--headers-only"}, dir);
    EXPECT_EQ(headers.status, 0);
    EXPECT_EQ(headers.out.find("File :"), std::string::npos);
    EXPECT_EQ(headers.out.find("Hello Joe"), std::string::npos);
    EXPECT_NE(headers.out.find("Subj : Report\n"), std::string::npos);

    const CliRun missing = RunCheck({"--dir", dir, "--dump", "99"}, dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Mail: error: -ERR There's no message 99.\n");
    EXPECT_EQ(DovecotMessageCount(13), 1); // nothing was deleted
}

TEST_F(PelkoCheck, ServerWordsReachTheTerminalDisarmed)
{
    // A window title, a bell, a screen clear, a C1 CSI, a direction override,
    // a byte that is no UTF-8: shown, never obeyed.
    const std::string attack = "\x1b]0;owned\x07\x1b[2J\xc2\x9b" "31m \xe2\x80\xae" "kcab";
    const struct {
        bool json;
        std::string refusal, printed;
    } rows[] = {
        {false, attack + " \xff", "Box: error: -ERR \\x1b]0;owned\\x07\\x1b[2J\\u009b31m \\u202ekcab \xef\xbf\xbd\n"},
        {true, attack, "{\"accounts\":[{\"name\":\"Box\",\"error\":\"-ERR \\u001b]0;owned\\u0007\\u001b[2J\\u009b31m "
                       "\\u202ekcab\"}],\"ok\":false}\n"},
    };
    for (const auto& row : rows) {
        ScriptedPeer peer("S: -ERR " + row.refusal + "\n");
        WriteAll(dir + "/Accounts.ini", AccountsFile({{"Box", "127.0.0.1:" + std::to_string(peer.port()), "u", "p"}}));
        std::vector<std::string> args{"--dir", dir};
        if (row.json)
            args.push_back("--json");
        const CliRun r = RunCheck(args, dir);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, row.printed);
    }
    // A message's own text keeps its lines and tabs, nothing else.
    WriteAll(dir + "/message.eml", "Subject: \xe2\x80\xae" "kcab\nX: y\n\nline\tone\xc2\x9b" "2J\nline two\n");
    const CliRun parse = RunCheck({"--parse", dir + "/message.eml"}, dir);
    EXPECT_NE(parse.out.find("Subj : \\u202ekcab\n"), std::string::npos) << parse.out;
    EXPECT_NE(parse.out.find("\nline\tone2J\nline two\n"), std::string::npos) << parse.out;
}

TEST_F(PelkoCheck, SaveDirNeitherReplacesNorFollows)
{
    auto part = [](const std::string& name, const std::string& text) {
        return "--sep\nContent-Type: application/octet-stream\nContent-Disposition: attachment; filename=\"" +
               name + "\"\n\n" + text + "\n";
    };
    WriteAll(dir + "/message.eml", "Subject: files\nContent-Type: multipart/mixed; boundary=sep\n\n" +
                                       part("~/.bashrc", "evil rc") + part("../../etc/x", "through link") +
                                       part("-rf", "option") +
                                       part("a.txt", "first") + part("a.txt", "second") + "--sep--\n");
    const std::string save = dir + "/save";
    ::mkdir(save.c_str(), 0700);
    WriteAll(save + "/.bashrc", "mine");
    WriteAll(save + "/a.txt", "kept");
    ASSERT_EQ(::symlink((dir + "/outside").c_str(), (save + "/x").c_str()), 0);

    const CliRun r = RunCheck({"--parse", dir + "/message.eml", "--save-dir", save}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ReadAll(save + "/.bashrc"), "mine");
    EXPECT_EQ(ReadAll(save + "/_.bashrc"), "evil rc\r\n"); // visible, never hidden
    struct stat st {};
    EXPECT_NE(::stat((dir + "/outside").c_str(), &st), 0); // the link was not followed
    EXPECT_EQ(ReadAll(save + "/x-2"), "through link\r\n");
    EXPECT_EQ(ReadAll(save + "/_-rf"), "option\r\n"); // never taken for an option
    EXPECT_EQ(ReadAll(save + "/a.txt"), "kept");
    EXPECT_EQ(ReadAll(save + "/a-2.txt"), "first\r\n");
    EXPECT_EQ(ReadAll(save + "/a-3.txt"), "second\r\n");

    // A directory that cannot take the files says so and fails.
    const CliRun none = RunCheck({"--parse", dir + "/message.eml", "--save-dir", dir + "/nowhere"}, dir);
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("cannot save " + dir + "/nowhere/_.bashrc: No such file or directory"),
              std::string::npos)
        << none.err;
}

TEST_F(PelkoCheck, HugeTextKeepsMemoryFlat)
{
#if defined(__SANITIZE_ADDRESS__)
    // AddressSanitizer's shadow memory and quarantine make resident sizes
    // say nothing about the program's own; the plain build measures them.
    GTEST_SKIP() << "memory is measured in the build without sanitizers";
#endif
    // 500 MB of text in one message: a prefix is shown, the rest read and dropped.
    ScriptedPeer peer("S: +OK ready\nC: User u\nS: +OK\nC: Pass p\nS: +OK\nC: RETR 1\nS: +OK\n"
                      "S: Subject: big\nS:\nREPEAT 5000000 " + std::string(96, 'x') + "\nS: .\nC: Quit\n");
    WriteAll(dir + "/Accounts.ini", AccountsFile({{"Big", "127.0.0.1:" + std::to_string(peer.port()), "u", "p"}}));
    const CliRun r = RunCheck({"--dir", dir, "--dump", "1"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(r.peakKb, 100 * 1024) << "peak resident KiB";
    EXPECT_NE(r.out.find("\n1 " + std::string(96, 'x') + "\n"), std::string::npos);
    EXPECT_EQ(r.out.find("\n4000000 "), std::string::npos);
    const std::string last = "\n[Message cut here: the rest is over the 8 MiB of text kept per message.]\n";
    EXPECT_EQ(r.out.rfind(last), r.out.size() - last.size());
    EXPECT_TRUE(peer.finish(10000));
    EXPECT_EQ(peer.mismatches(), std::vector<std::string>());
}

TEST_F(PelkoCheck, ParseSavesStraightIntoTheDirectoryWithFlatMemory)
{
    // 48 MiB of attachment: read and decoded a block at a time, written once.
    // (Written here a line at a time: the spawned check counts this
    // process's peak as its own.)
    const size_t lines = (size_t(48) << 20) / 57;
    {
        std::ofstream out(dir + "/big.eml", std::ios::binary | std::ios::trunc);
        out << "Subject: big file\nContent-Type: multipart/mixed; boundary=sep\n\n--sep\n"
               "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
               "Content-Disposition: attachment; filename=\"big.bin\"\n\n";
        for (size_t i = 0; i < lines; ++i)
            out << "QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVphYmNkZWZnaGlqa2xtbm9wcXJzdHV2d3h5ejAxMjM0\n";
        out << "--sep--\n";
    }
    const std::string save = dir + "/big-save";
    ::mkdir(save.c_str(), 0700);
    const CliRun r = RunCheck({"--parse", dir + "/big.eml", "--save-dir", save}, dir);
    ::unlink((dir + "/big.eml").c_str());
    EXPECT_EQ(r.status, 0) << r.err;
#if !defined(__SANITIZE_ADDRESS__) // the sanitizers' own memory says nothing about the program's
    EXPECT_LT(r.peakKb, 16 * 1024) << "peak resident KiB";
#endif
    struct stat st {};
    ASSERT_EQ(::stat((save + "/big.bin").c_str(), &st), 0);
    EXPECT_EQ(static_cast<size_t>(st.st_size), lines * 57);
    std::ifstream saved(save + "/big.bin", std::ios::binary);
    std::string head(60, '\0');
    saved.read(&head[0], 60);
    EXPECT_EQ(head, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz01234ABC");
    ::unlink((save + "/big.bin").c_str());

    // A message that turns out unreadable after an attachment leaves nothing behind.
    WriteAll(dir + "/broken.eml", "Subject: broken\nContent-Type: multipart/mixed; boundary=sep\n\n--sep\n"
                                  "Content-Type: application/octet-stream\nContent-Transfer-Encoding: base64\n"
                                  "Content-Disposition: attachment; filename=\"first.bin\"\n\naGVsbG8=\n--sep\n"
                                  "Content-Type: multipart/alternative\n\nno boundary\n--sep--\n");
    const CliRun broken = RunCheck({"--parse", dir + "/broken.eml", "--save-dir", save}, dir);
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("broken.eml: Boundary error"), std::string::npos) << broken.err;
    EXPECT_NE(::stat((save + "/first.bin").c_str(), &st), 0);

    const CliRun missing = RunCheck({"--parse", dir + "/gone.eml"}, dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "pelko-check: cannot read " + dir + "/gone.eml: No such file or directory\n");
}

namespace {

pid_t SpawnCheck(const std::vector<std::string>& args, const std::string& workDir, const std::string& tmpDir)
{
    std::vector<std::string> env{"TMPDIR=" + tmpDir};
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("TMPDIR=", 0) != 0)
            env.push_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(&e[0]);
    envp.push_back(nullptr);
    const std::string bin = CheckBinary(), out = workDir + "/spawned-out";
    std::vector<char*> argv{const_cast<char*>(bin.c_str())};
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawn(&pid, bin.c_str(), &fa, nullptr, argv.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::set<std::string> Names(const std::string& path)
{
    std::set<std::string> names;
    if (DIR* d = ::opendir(path.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

} // namespace

TEST_F(PelkoCheck, TemporaryFilesGoWithTheProgram)
{
    const std::string tmp = dir + "/tmp";
    ::mkdir(tmp.c_str(), 0700);
    const std::string root = tmp + "/pelko-" + ::getpwuid(::geteuid())->pw_name + "/";
    ::mkdir(root.c_str(), 0700);
    // Left by runs that are gone (one with its lock file, one from before it had one),
    // and the files of a run still going (this process holds its lock).
    for (const char* run : {"999999998", "999999999", "999999997"}) {
        ::mkdir((root + run).c_str(), 0700);
        WriteAll(root + run + "/PBEleft", "attachment");
    }
    WriteAll(root + "999999998.lock", "");
    const int liveLock = ::open((root + "999999997.lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(::flock(liveLock, LOCK_EX), 0);

    const std::string script = "S: +OK ready\nC: User u\nS: +OK\nC: Pass p\nS: +OK\nC: RETR 1\nS: +OK\n"
                               "S: Content-Type: multipart/mixed; boundary=b\nS:\nS: --b\n"
                               "S: Content-Disposition: attachment; filename=\"big.bin\"\nS:\n"
                               "S: the first part of a long attachment\nSTALL 20000\n";
    for (int sig : {SIGINT, SIGTERM, SIGKILL}) {
        SCOPED_TRACE(sig);
        ScriptedPeer peer(script);
        WriteAll(dir + "/Accounts.ini", AccountsFile({{"Box", "127.0.0.1:" + std::to_string(peer.port()), "u", "p"}}));
        const pid_t pid = SpawnCheck({"--dir", dir, "--dump", "1"}, dir, tmp);
        ASSERT_GT(pid, 0);
        const std::string own = root + std::to_string(pid);
        bool started = false;
        for (int i = 0; i < 500 && !started; ++i) {
            const std::set<std::string> files = Names(own);
            started = !files.empty() && files.begin()->rfind("PBE", 0) == 0;
            if (!started)
                ::usleep(10000);
        }
        EXPECT_TRUE(started) << "no attachment file in " << own;
        ::kill(pid, sig);
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        EXPECT_TRUE(WIFSIGNALED(ws) && WTERMSIG(ws) == sig); // ended as the signal ends a program
        // Interrupted or terminated: nothing stays. Killed outright: the next run clears it.
        EXPECT_EQ(Exists(own), sig == SIGKILL);
        EXPECT_EQ(Exists(own + ".lock"), sig == SIGKILL);
        EXPECT_TRUE(Exists(root + "999999997/PBEleft"));
    }
    EXPECT_FALSE(Exists(root + "999999998"));
    EXPECT_FALSE(Exists(root + "999999998.lock"));
    EXPECT_FALSE(Exists(root + "999999999"));

    const pid_t next = SpawnCheck({"--help"}, dir, tmp);
    int ws = 0;
    ::waitpid(next, &ws, 0);
    EXPECT_EQ(WEXITSTATUS(ws), 0);
    // Only the run still going keeps its files.
    EXPECT_EQ(Names(root), (std::set<std::string>{"999999997", "999999997.lock"}));
    EXPECT_TRUE(Exists(root + "999999997/PBEleft"));
    struct stat st {};
    ASSERT_EQ(::stat(root.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ::close(liveLock);
}

TEST_F(PelkoCheck, ATakenTemporaryFolderNameCostsOneFolder)
{
    // Someone else's file holds the usual name: the runs share one folder in its place.
    const std::string tmp = dir + "/tmp";
    ::mkdir(tmp.c_str(), 0700);
    const std::string name = std::string("pelko-") + ::getpwuid(::geteuid())->pw_name;
    WriteAll(tmp + "/" + name, "squatted");
    for (int run = 0; run < 3; ++run) {
        const pid_t pid = SpawnCheck({"--help"}, dir, tmp);
        int ws = 0;
        ::waitpid(pid, &ws, 0);
        EXPECT_EQ(WEXITSTATUS(ws), 0);
    }
    const std::set<std::string> names = Names(tmp);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(*names.begin(), name);
    EXPECT_EQ(names.rbegin()->rfind(name + "-", 0), 0u);
}
