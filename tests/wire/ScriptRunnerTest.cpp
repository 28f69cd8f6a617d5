// Plays every tests/wire/scripts/*.pop against the POP3 client, and every
// *.imap against the IMAP client (its actions below). A script
// holds the peer's steps (see ScriptedPeer.h) and, in "@" lines, what the
// client does:
//   @user NAME / @pass WORD   credentials (default joe / secret; "\r" and
//                             "\n" stand for CR and LF)
//   @timeout MS               the client's time-out (default 5000)
//   @cancel MS                the next action is called off MS milliseconds
//                             after it began (from the client's idle or work
//                             event, as the program's owner does)
//   @do ACTION                connect | count | retr N | top N | dele N | quit | connected
//   = LINE                    one line of the expected transcript
// No action may run for more than 30 s, nor go on for 2 s after a cancel.
// The transcript holds every status text ("status: ..."), every action's
// result ("count: 2", "connect: raised EWireConnectRefused: -ERR busy",
// "retr 1: cancelled") and
// for fetched messages their From, Subject, text lines and attachments. The
// client must also send exactly the lines the script expects ("C:" steps).
//
// An .imap script connects to "imap://127.0.0.1:$PORT" unless "@host TEXT"
// says otherwise ($PORT stands for the peer's port); "@mech login" asks for
// LOGIN. Its actions: connect | examine | select | status | search CRITERIA
// | headers UID,UID,... | fetch UID | delete UID | idle | wait MS | done |
// quit | connected.
#include "ScriptedPeer.h"
#include "wire/Imap.h"
#include "wire/Pop3.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace pelko;

namespace {

std::string ScriptDir()
{
    // The source folder as the test main exports it: __FILE__ may be a path
    // relative to some other folder (a compiler cache's base directory).
    if (const char* root = std::getenv("PELKO_SOURCE_DIR"))
        return std::string(root) + "/tests/wire/scripts";
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/scripts";
}

std::vector<std::string> ScriptFiles(const std::string& ext)
{
    std::vector<std::string> files;
    if (DIR* d = ::opendir(ScriptDir().c_str())) {
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0)
                files.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Escape(const std::string& s)
{
    static const char* hex = "0123456789abcdef";
    std::string out;
    for (unsigned char c : s) {
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c < 32 || c >= 127) {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else
            out += static_cast<char>(c);
    }
    return out;
}

std::string ClassName(const std::exception& e)
{
    if (dynamic_cast<const EWireSocketError*>(&e))
        return "EWireSocketError";
    if (dynamic_cast<const EWireResponseError*>(&e))
        return "EWireResponseError";
    if (dynamic_cast<const EWireClosedSocket*>(&e))
        return "EWireClosedSocket";
    if (dynamic_cast<const EWireInvalidSocket*>(&e))
        return "EWireInvalidSocket";
    if (dynamic_cast<const EWireConnClosedGraceful*>(&e))
        return "EWireConnClosedGraceful";
    if (dynamic_cast<const EWireConnectRefused*>(&e))
        return "EWireConnectRefused";
    if (dynamic_cast<const EWireAlreadyConnected*>(&e))
        return "EWireAlreadyConnected";
    if (dynamic_cast<const EWireLineTooLong*>(&e))
        return "EWireLineTooLong";
    if (dynamic_cast<const EWireReplyTooLong*>(&e))
        return "EWireReplyTooLong";
    if (dynamic_cast<const EWireException*>(&e))
        return "EWireException";
    return "exception";
}

std::string FileSize(const std::string& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return std::to_string(static_cast<long long>(in.tellg()));
}

void Describe(const TWireMessage& m, std::vector<std::string>& out)
{
    out.push_back("from: " + Escape(m.From()));
    out.push_back("subject: " + Escape(m.Subject()));
    for (const std::string& l : m.Text)
        out.push_back("text: " + Escape(l));
    for (const TAttachment& a : m.Attachments)
        out.push_back("attachment: " + a.FileName + " (" + FileSize(a.StoredPathName) + " bytes)");
}

struct Action {
    std::string text;
    int cancelAfterMs = -1; // -1: runs to its end
};

struct Script {
    std::string text;
    std::string user = "joe", pass = "secret";
    Pop3Login mech = Pop3Login::Automatic;
    ImapLogin imapMech = ImapLogin::Automatic;
    std::string host;
    SecretKind secret = SecretKind::Password;
    int timeout = 5000;
    std::vector<Action> actions;
    std::vector<std::string> expected;
};

std::string Unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'r' || s[i + 1] == 'n')) {
            out += s[++i] == 'r' ? '\r' : '\n';
            continue;
        }
        out += s[i];
    }
    return out;
}

// Calls the running action off when its time comes, and stops one that runs
// on (from the client's events, which come while it waits or receives).
struct Watchdog {
    TWireSocket& pop;
    std::chrono::steady_clock::time_point started;
    int cancelAfterMs = -1;
    bool cancelled = false;
    std::chrono::steady_clock::time_point cancelledAt;

    void begin(int cancelAfter)
    {
        started = std::chrono::steady_clock::now();
        cancelAfterMs = cancelAfter;
        cancelled = false;
    }
    void look()
    {
        using namespace std::chrono;
        const auto now = steady_clock::now();
        if (cancelAfterMs >= 0 && !cancelled && now - started >= milliseconds(cancelAfterMs)) {
            pop.Cancel();
            cancelled = true;
            cancelledAt = now;
        }
        if (cancelled && now - cancelledAt > seconds(2))
            throw std::runtime_error("still at work 2 s after the cancel");
        if (now - started > seconds(30))
            throw std::runtime_error("still at work after 30 s");
    }
};

ImapLogin ImapMechanism(const std::string& name)
{
    if (name == "login")
        return ImapLogin::Login;
    if (name == "plain")
        return ImapLogin::Plain;
    if (name == "xoauth2")
        return ImapLogin::XOAuth2;
    return name == "oauthbearer" ? ImapLogin::OAuthBearer : ImapLogin::Automatic;
}

Script LoadScript(const std::string& name)
{
    Script s;
    std::ifstream in(ScriptDir() + "/" + name, std::ios::binary);
    std::stringstream buf;
    buf << in.rdbuf();
    s.text = buf.str();
    std::istringstream lines(s.text);
    std::string line;
    int cancelNext = -1;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("@user", 0) == 0)
            s.user = Unescape(line.size() > 6 ? line.substr(6) : "");
        else if (line.rfind("@pass", 0) == 0)
            s.pass = Unescape(line.size() > 6 ? line.substr(6) : "");
        else if (line == "@token")
            s.secret = SecretKind::Token;
        else if (line.rfind("@host ", 0) == 0)
            s.host = line.substr(6);
        else if (line.rfind("@mech ", 0) == 0) {
            s.imapMech = ImapMechanism(line.substr(6));
            s.mech = line == "@mech plain" ? Pop3Login::Plain : line == "@mech xoauth2" ? Pop3Login::XOAuth2
                                                                                     : Pop3Login::OAuthBearer;
        }
        else if (line.rfind("@timeout ", 0) == 0)
            s.timeout = std::stoi(line.substr(9));
        else if (line.rfind("@cancel ", 0) == 0)
            cancelNext = std::stoi(line.substr(8));
        else if (line.rfind("@do ", 0) == 0) {
            s.actions.push_back({line.substr(4), cancelNext});
            cancelNext = -1;
        }
        else if (line.rfind("= ", 0) == 0 || line == "=")
            s.expected.push_back(line.size() > 2 ? line.substr(2) : "");
    }
    // "=" lines are not peer steps: drop them from the text the peer reads.
    std::string peerText;
    std::istringstream again(s.text);
    while (std::getline(again, line))
        if (line.rfind("=", 0) != 0)
            peerText += line + "\n";
    s.text = peerText;
    return s;
}

void RunAction(TWirePOP3& pop, TWireMessage& msg, const std::string& action, std::vector<std::string>& out)
{
    std::istringstream words(action);
    std::string verb;
    int n = 0;
    words >> verb >> n;
    const std::string label = n ? verb + " " + std::to_string(n) : verb;
    try {
        if (verb == "connect") {
            pop.Connect();
            out.push_back(label + ": ok");
        } else if (verb == "count") {
            out.push_back(label + ": " + std::to_string(pop.CheckMessages()));
        } else if (verb == "retr") {
            const bool ok = pop.RetrieveMessage(n, msg);
            out.push_back(label + ": " + (ok ? "true" : "false"));
            if (ok)
                Describe(msg, out);
        } else if (verb == "top") {
            const bool ok = pop.RetrieveHeaders(n, msg);
            out.push_back(label + ": " + (ok ? "true" : "false"));
            Describe(msg, out);
        } else if (verb == "dele") {
            out.push_back(label + ": " + (pop.DeleteMessage(n) ? "true" : "false"));
        } else if (verb == "quit") {
            pop.Disconnect();
            out.push_back(label + ": ok");
        } else if (verb == "connected") {
            out.push_back(label + ": " + (pop.Connected() ? "true" : "false"));
        } else {
            out.push_back("unknown action " + action);
        }
    } catch (const std::exception& e) {
        out.push_back(label + ": raised " + ClassName(e) + ": " + Escape(e.what()));
    } catch (const EWireCancelled&) {
        out.push_back(label + ": cancelled");
    }
}


std::string ImapClassName(const std::exception& e)
{
    if (dynamic_cast<const EWireSignInRefused*>(&e))
        return "EWireSignInRefused";
    if (dynamic_cast<const EWireTlsError*>(&e))
        return "EWireTlsError";
    return ClassName(e);
}

std::string Uids(const std::vector<uint32_t>& uids)
{
    std::string out;
    for (uint32_t u : uids)
        out += " " + std::to_string(u);
    return out;
}

std::string Events(const std::vector<ImapIdleEvent>& events)
{
    static const char* names[] = {"EXISTS", "EXPUNGE", "RECENT", "FETCH", "BYE", "other"};
    std::string out;
    for (const ImapIdleEvent& e : events)
        out += std::string(out.empty() ? " " : ", ") + names[e.kind] + (e.number ? " " + std::to_string(e.number) : "");
    return out;
}

void RunImapAction(TWireIMAP& imap, TWireMessage& msg, const std::string& action, std::vector<std::string>& out)
{
    const size_t space = action.find(' ');
    const std::string verb = action.substr(0, space);
    const std::string arg = space == std::string::npos ? "" : action.substr(space + 1);
    const std::string& label = action;
    try {
        if (verb == "connect") {
            imap.Connect();
            out.push_back(label + ": ok");
        } else if (verb == "examine" || verb == "select") {
            const ImapSelected s = verb == "examine" ? imap.Examine() : imap.Select();
            out.push_back(label + ": exists " + std::to_string(s.exists) + ", recent " + std::to_string(s.recent) +
                          ", uidvalidity " + std::to_string(s.uidValidity) + ", uidnext " +
                          std::to_string(s.uidNext) + ", first unseen " + std::to_string(s.firstUnseen) +
                          (s.readOnly ? ", read-only" : ""));
        } else if (verb == "status") {
            const ImapStatus s = imap.Status();
            out.push_back(label + ": messages " + std::to_string(s.messages) + ", unseen " +
                          std::to_string(s.unseen) + ", uidnext " + std::to_string(s.uidNext) + ", uidvalidity " +
                          std::to_string(s.uidValidity));
        } else if (verb == "search") {
            out.push_back(label + ":" + Uids(imap.UidSearch(arg)));
        } else if (verb == "headers") {
            std::vector<uint32_t> uids;
            std::istringstream list(arg);
            for (std::string u; std::getline(list, u, ',');)
                uids.push_back(static_cast<uint32_t>(std::stoul(u)));
            const std::vector<ImapHeaderFields> sets = imap.FetchHeaderFields(uids);
            out.push_back(label + ": " + std::to_string(sets.size()));
            for (const ImapHeaderFields& h : sets)
                for (const std::string& line : h.headers)
                    out.push_back(std::to_string(h.uid) + ": " + Escape(line));
        } else if (verb == "fetch") {
            const bool ok = imap.FetchMessage(static_cast<uint32_t>(std::stoul(arg)), msg);
            out.push_back(label + ": " + (ok ? "true" : "false"));
            if (ok)
                Describe(msg, out);
        } else if (verb == "delete") {
            const bool ok = imap.DeleteMessage(static_cast<uint32_t>(std::stoul(arg)));
            out.push_back(label + ": " + (ok ? "true" : "false"));
        } else if (verb == "idle") {
            out.push_back(label + ": " + (imap.StartIdle() ? "true" : "false"));
        } else if (verb == "wait") {
            out.push_back(label + ":" + Events(imap.WaitIdle(std::stoi(arg))));
        } else if (verb == "done") {
            out.push_back(label + ":" + Events(imap.StopIdle()));
        } else if (verb == "quit") {
            imap.Disconnect();
            out.push_back(label + ": ok");
        } else if (verb == "connected") {
            out.push_back(label + ": " + (imap.Connected() ? "true" : "false"));
        } else {
            out.push_back("unknown action " + action);
        }
    } catch (const std::exception& e) {
        out.push_back(label + ": raised " + ImapClassName(e) + ": " + Escape(e.what()));
    } catch (const EWireCancelled&) {
        out.push_back(label + ": cancelled");
    }
}

} // namespace

TEST(Pop3Scripts, EveryScriptPlaysAsWritten)
{
    const std::vector<std::string> files = ScriptFiles(".pop");
    ASSERT_GE(files.size(), 10u) << "scripts not found in " << ScriptDir();
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const Script script = LoadScript(name);
        ScriptedPeer peer(script.text);
        const std::string port = std::to_string(peer.port());
        std::vector<std::string> transcript;
        {
            TWirePOP3 pop;
            TWireMessage msg;
            pop.Host = "127.0.0.1:" + port;
            pop.UserID = script.user;
            pop.Password = script.pass;
            pop.Mechanism = script.mech;
            pop.Secret = script.secret;
            pop.Timeout = script.timeout;
            pop.OnStatus = [&](TWire*, const std::string& s) { transcript.push_back("status: " + Escape(s)); };
            Watchdog watchdog{pop, {}, -1, false, {}};
            pop.OnIdle = [&] { watchdog.look(); };
            pop.OnWork = [&](TWire*, int32_t, int32_t) { watchdog.look(); };
            for (const Action& action : script.actions) {
                watchdog.begin(action.cancelAfterMs);
                RunAction(pop, msg, action.text, transcript);
                pop.ClearCancel();
            }
            // Close without a "Quit" the script did not ask for.
            pop.OnStatus = nullptr;
            pop.OnIdle = nullptr;
            pop.OnWork = nullptr;
            pop.CloseSocket();
        }
        EXPECT_TRUE(peer.finish(3000)) << "the peer did not finish its script";
        for (std::string& line : transcript) {
            for (size_t p = line.find(port); p != std::string::npos; p = line.find(port, p))
                line.replace(p, port.size(), "$PORT");
        }
        EXPECT_EQ(transcript, script.expected);
        EXPECT_EQ(peer.mismatches(), std::vector<std::string>());
        EXPECT_EQ(Escape(peer.received()), Escape(peer.expectedClientBytes()));
    }
}

TEST(ImapScripts, EveryScriptPlaysAsWritten)
{
    const std::vector<std::string> files = ScriptFiles(".imap");
    ASSERT_GE(files.size(), 10u) << "scripts not found in " << ScriptDir();
    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        const Script script = LoadScript(name);
        ScriptedPeer peer(script.text);
        const std::string port = std::to_string(peer.port());
        std::vector<std::string> transcript;
        {
            TWireIMAP imap;
            TWireMessage msg;
            std::string host = script.host.empty() ? "imap://127.0.0.1:$PORT" : script.host;
            host.replace(host.find("$PORT"), 5, port);
            imap.Host = host;
            imap.UserID = script.user;
            imap.Password = script.pass;
            imap.Mechanism = script.imapMech;
            imap.Secret = script.secret;
            imap.Timeout = script.timeout;
            imap.OnStatus = [&](TWire*, const std::string& s) { transcript.push_back("status: " + Escape(s)); };
            Watchdog watchdog{imap, {}, -1, false, {}};
            imap.OnIdle = [&] { watchdog.look(); };
            imap.OnWork = [&](TWire*, int32_t, int32_t) { watchdog.look(); };
            for (const Action& action : script.actions) {
                watchdog.begin(action.cancelAfterMs);
                RunImapAction(imap, msg, action.text, transcript);
                imap.ClearCancel();
            }
            // Close without a "LOGOUT" the script did not ask for.
            imap.OnStatus = nullptr;
            imap.OnIdle = nullptr;
            imap.OnWork = nullptr;
            imap.CloseSocket();
        }
        EXPECT_TRUE(peer.finish(3000)) << "the peer did not finish its script";
        for (std::string& line : transcript) {
            for (size_t p = line.find(port); p != std::string::npos; p = line.find(port, p))
                line.replace(p, port.size(), "$PORT");
        }
        EXPECT_EQ(transcript, script.expected);
        EXPECT_EQ(peer.mismatches(), std::vector<std::string>());
        EXPECT_EQ(Escape(peer.received()), Escape(peer.expectedClientBytes()));
    }
}
