#include "wire/Imap.h"

#include "mime/Coders.h"
#include "mime/TextUtil.h"
#include "wire/ImapMailboxName.h"
#include "wire/ImapReplyReader.h"
#include "wire/SaslResponses.h"
#include "wire/SocketErrors.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <algorithm>

namespace pelko {

namespace {

// 127.0.0.0/8 and ::1 written as addresses: a connection that never leaves
// this machine.
bool IsLoopbackLiteral(const std::string& host)
{
    if (!IsIpLiteral(host))
        return false;
    return host.compare(0, 4, "127.") == 0 || host == "::1" || host == "0:0:0:0:0:0:0:1";
}

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char c = a[i], d = b[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (d >= 'a' && d <= 'z')
            d = static_cast<char>(d - 'a' + 'A');
        if (c != d)
            return false;
    }
    return true;
}

// Sorted UIDs as a set: "3:5,9".
std::string UidSet(const std::vector<uint32_t>& sorted)
{
    std::string out;
    for (size_t i = 0; i < sorted.size();) {
        size_t j = i;
        while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1)
            ++j;
        if (!out.empty())
            out += ',';
        out += std::to_string(sorted[i]);
        if (j > i)
            out += ':' + std::to_string(sorted[j]);
        i = j + 1;
    }
    return out;
}

// One number of a search result or sequence set: 1 to 4294967295.
bool ParseUid(std::string_view text, uint32_t& n)
{
    return ParseImapNumber(text, n) && n != 0; // UIDs start at 1
}

// The UIDs of a search result: numbers and "a:b" ranges, separated by
// blanks or commas, up to a "(" (a CONDSTORE MODSEQ). Counted before any is
// kept, so a few ranges cannot make billions.
std::vector<uint32_t> ExpandUids(const std::vector<std::string_view>& texts)
{
    struct Range {
        uint32_t low, high;
    };
    std::vector<Range> ranges;
    uint64_t total = 0;
    for (std::string_view text : texts) {
        size_t at = 0;
        while (at < text.size()) {
            if (text[at] == ' ' || text[at] == ',') {
                ++at;
                continue;
            }
            if (text[at] == '(')
                break;
            size_t end = at;
            while (end < text.size() && text[end] != ' ' && text[end] != ',' && text[end] != '(')
                ++end;
            const std::string_view item = text.substr(at, end - at);
            const size_t colon = item.find(':');
            uint32_t a = 0, b = 0;
            if (!ParseUid(item.substr(0, colon), a) ||
                (colon != std::string_view::npos && !ParseUid(item.substr(colon + 1), b)))
                throw EWireResponseError("The server's search result cannot be read: \"" +
                                         std::string(item.substr(0, 40)) + "\".");
            if (colon == std::string_view::npos)
                b = a;
            if (a > b)
                std::swap(a, b);
            total += uint64_t(b) - a + 1;
            if (total > TWireIMAP::kMaxUids)
                throw EWireResponseError(kImapTooManyUidsText);
            ranges.push_back({a, b});
            at = end;
        }
    }
    std::vector<uint32_t> uids;
    uids.reserve(static_cast<size_t>(total));
    for (const Range& r : ranges)
        for (uint64_t u = r.low; u <= r.high; ++u)
            uids.push_back(static_cast<uint32_t>(u));
    // Servers list in order as a rule: sorting is for the ones that do not.
    if (!std::is_sorted(uids.begin(), uids.end()))
        std::sort(uids.begin(), uids.end());
    uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
    return uids;
}

// "BODY[...]" of a FETCH response.
bool IsBodySection(const ImapValue& v)
{
    return v.kind == ImapValue::Atom && v.text.size() >= 5 && SameText(v.text.substr(0, 5), "BODY[");
}

ImapIdleEvent EventOf(const ImapResponse& r)
{
    ImapIdleEvent e;
    e.text = r.line;
    if (!r.Untagged())
        return e;
    if (r.keyword == "BYE") {
        e.kind = ImapIdleEvent::Bye;
        return e;
    }
    uint32_t n = 0;
    if (r.items.size() >= 2 && r.items[0].Number(n)) {
        const ImapValue& what = r.items[1];
        const ImapIdleEvent::Kind kind = what.Is("EXISTS")    ? ImapIdleEvent::Exists
                                         : what.Is("EXPUNGE") ? ImapIdleEvent::Expunge
                                         : what.Is("RECENT")  ? ImapIdleEvent::Recent
                                         : what.Is("FETCH")   ? ImapIdleEvent::Fetch
                                                              : ImapIdleEvent::Other;
        if (kind != ImapIdleEvent::Other) {
            e.kind = kind;
            e.number = n;
        }
    }
    return e;
}

// Header lines of a header-fields literal, "name=value", unfolded.
TStrings HeaderLines(const std::string& text)
{
    TStrings lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        at = end + 1;
        if (line.empty())
            break; // the blank line that ends the header
        lines.push_back(std::move(line));
    }
    UnfoldHeaders(lines);
    return lines;
}

// Restores a value when it goes out of scope.
template <typename T>
class Restore {
public:
    Restore(T& place, T value) : place_(place), saved_(place) { place_ = value; }
    ~Restore() { place_ = saved_; }
    Restore(const Restore&) = delete;
    Restore& operator=(const Restore&) = delete;

private:
    T& place_;
    T saved_;
};

// The most header sets one FetchHeaderFields asks for.
constexpr size_t kMaxHeaderSets = 1000;
// The most pieces of news one WaitIdle returns.
constexpr size_t kMaxIdleEvents = 1000;

} // namespace

TWireIMAP::TWireIMAP()
{
    Port = kImapDefaultPort;
    // A search result of a large mailbox is one long line; a header fetch
    // some lines and literals per message.
    MaxLineLength = 8 * 1024 * 1024;
    MaxReplyLines = 10000;
    MaxReplyBytes = 16 * 1024 * 1024;
    SetReplyReader(std::make_unique<ImapReplyReader>());
}

TWireIMAP::~TWireIMAP()
{
    UnhookEvents();
    if (Connected()) {
        try {
            TWireIMAP::Disconnect();
        } catch (...) {
        }
    }
}

ImapReplyReader& TWireIMAP::Reader() const
{
    return static_cast<ImapReplyReader&>(Replies());
}

bool TWireIMAP::SendsBearerToken() const
{
    return Secret == SecretKind::Token || Mechanism == ImapLogin::XOAuth2 || Mechanism == ImapLogin::OAuthBearer;
}

void TWireIMAP::RefuseBearerInClear() const
{
    if (!SendsBearerToken())
        return;
    const HostSpec target = ParseHostSpec(Host);
    if (target.problem.empty() && target.security == HostSecurity::Plain && !IsLoopbackLiteral(target.host))
        throw EWireTlsError(kImapTokenNeedsTlsText);
}

std::string TWireIMAP::MailboxName() const
{
    const std::string name = ParseHostSpec(Host).mailbox;
    return name.empty() ? "INBOX" : name;
}

std::string TWireIMAP::WireMailbox(const std::string& mailbox) const
{
    return ImapQuoted(EncodeMailboxName(mailbox.empty() ? MailboxName() : mailbox));
}

bool TWireIMAP::HasCapability(const std::string& cap) const
{
    for (const std::string& c : capabilities_)
        if (SameText(c, cap))
            return true;
    return false;
}

std::string TWireIMAP::NextTag()
{
    return "A" + std::to_string(++tagNumber_);
}

void TWireIMAP::SendLine(const std::string& line)
{
    if (line.find_first_of("\r\n") != std::string::npos)
        throw EWireException(kLineBreakInCommandText);
    LogText("O: " + line + "\r\n");
    WriteLine(line);
}

int16_t TWireIMAP::Await(const std::string& tag)
{
    try {
        ReadResponse();
    } catch (...) {
        if (Connected() && (Reader().OutOfStep() || Reader().MidResponse()))
            Abort();
        throw;
    }
    const std::vector<ImapResponse>& got = Reader().Responses();
    if (ResultCode != kImapBodyLiteral && !got.empty() && !got.back().Untagged() && !got.back().Continuation() &&
        got.back().tag != tag) {
        // An answer to a command we did not give: out of step.
        Abort();
        throw EWireResponseError("The server answered a command it was not given: " + ResultText);
    }
    return ResultCode;
}

int16_t TWireIMAP::AwaitTagged(const std::string& tag)
{
    // Nothing more to send: a request for more is called off, a few times
    // at most.
    for (int asked = 0; Await(tag) == kImapContinue; ++asked) {
        if (asked == 8) {
            Abort();
            throw EWireResponseError("The server keeps asking for more: " + ResultText);
        }
        SendLine(kSaslCancel);
    }
    return ResultCode;
}

int16_t TWireIMAP::Command(const std::string& command)
{
    const std::string tag = NextTag();
    SendLine(tag + " " + command);
    Reader().ReadUntilTag = true;
    return AwaitTagged(tag);
}

int16_t TWireIMAP::CommandWithStrings(const std::string& verb, const std::vector<std::string>& args)
{
    for (const std::string& a : args)
        if (a.find_first_of("\r\n") != std::string::npos)
            throw EWireException(kLineBreakInCommandText);
    const std::string tag = NextTag();
    std::string line = tag + " " + verb;
    for (const std::string& a : args) {
        if (QuotableImapString(a)) {
            line += " " + ImapQuoted(a);
            continue;
        }
        // 8-bit text goes as a literal; without LITERAL+ the server first
        // says it is ready for it.
        if (HasCapability("LITERAL+")) {
            SendLine(line + " {" + std::to_string(a.size()) + "+}");
        } else {
            SendLine(line + " {" + std::to_string(a.size()) + "}");
            if (Await(tag) != kImapContinue)
                return ResultCode;
        }
        WriteBuffer(a.data(), a.size());
        line.clear();
    }
    SendLine(line);
    AwaitTagged(tag);
    return ResultCode;
}

bool TWireIMAP::TakeCapabilities()
{
    bool found = false;
    for (const ImapResponse& r : Reader().Responses()) {
        const std::vector<ImapValue>* list = nullptr;
        if (!r.code.empty() && r.code[0].Is("CAPABILITY"))
            list = &r.code;
        else if (r.Untagged() && !r.items.empty() && r.items[0].Is("CAPABILITY"))
            list = &r.items;
        if (!list)
            continue;
        capabilities_.clear();
        for (size_t i = 1; i < list->size(); ++i)
            if ((*list)[i].kind == ImapValue::Atom)
                capabilities_.push_back((*list)[i].text);
        found = true;
    }
    return found;
}

void TWireIMAP::AskCapabilities()
{
    if (Command("CAPABILITY") != kReplyOk)
        throw EWireResponseError(ResultText);
    TakeCapabilities();
}

void TWireIMAP::Connect()
{
    ThrowIfCancelled();
    RefuseBearerInClear();
    DeadlineScope deadline(*this, kFixed);
    Reader().Reset();
    Reader().ClearOutOfStep();
    Reader().StopStreaming();
    tagNumber_ = 0;
    capabilities_.clear();
    pendingEvents_.clear();
    idling_ = false;
    greeted_ = false;
    TWireMessageClient::Connect();
    try {
        {
            Restore<bool> one(Reader().ReadUntilTag, false);
            Await("");
        }
        const ImapResponse greeting = Reader().Responses().back();
        if (!greeting.Untagged() || (greeting.keyword != "OK" && greeting.keyword != "PREAUTH"))
            throw EWireConnectRefused(ResultText);
        greeted_ = true;
        DoStatus("Connected");
        TakeCapabilities();
        const bool preauth = greeting.keyword == "PREAUTH";
        if (Target().security == HostSecurity::StartTls) {
            // No silent downgrade: without STARTTLS the login stops here,
            // before the user name or password leave in clear. (A PREAUTH
            // greeting leaves no place for STARTTLS.)
            if (!preauth && capabilities_.empty())
                AskCapabilities();
            if (preauth || !HasCapability("STARTTLS") || Command("STARTTLS") != kReplyOk)
                throw EWireTlsError(kImapNoStartTlsText);
            StartTls();
            // What the server said before TLS counts for nothing.
            capabilities_.clear();
        }
        if (capabilities_.empty())
            AskCapabilities();
        if (!preauth) {
            try {
                LogIn();
            } catch (const EWireSignInRefused&) {
                throw;
            } catch (const EWireResponseError& refused) {
                if (Reader().OutOfStep() || !Connected())
                    throw;
                // The server said no to who we are (not a lost connection).
                throw EWireSignInRefused(refused.what());
            }
            // The capabilities may grow once signed in; the reply often names them.
            if (!TakeCapabilities())
                AskCapabilities();
        }
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
            // The caller gets the error of the step that failed.
        }
        throw;
    }
}

void TWireIMAP::LogIn()
{
    ImapLogin how = Mechanism;
    if (how == ImapLogin::Automatic) {
        if (Secret == SecretKind::Token)
            how = HasCapability("AUTH=OAUTHBEARER") && !HasCapability("AUTH=XOAUTH2") ? ImapLogin::OAuthBearer
                                                                                     : ImapLogin::XOAuth2;
        else
            how = HasCapability("AUTH=PLAIN") ? ImapLogin::Plain : ImapLogin::Login;
    }
    switch (how) {
    case ImapLogin::Automatic:
    case ImapLogin::Login:
        if (HasCapability("LOGINDISABLED"))
            throw EWireException(kImapLoginDisabledText);
        if (CommandWithStrings("LOGIN", {UserID, Password}) != kReplyOk)
            throw EWireResponseError(ResultText);
        DoStatus("  Signed in (LOGIN)");
        return;
    case ImapLogin::Plain:
        Authenticate("PLAIN", SaslPlainResponse(UserID, Password), kSaslCancel);
        return;
    case ImapLogin::XOAuth2:
        Authenticate("XOAUTH2", SaslXOAuth2Response(UserID, Password), "");
        return;
    case ImapLogin::OAuthBearer:
        Authenticate("OAUTHBEARER", SaslOAuthBearerResponse(UserID, Target().host, ConnectPort(), Password),
                     EncodeLine(kOAuthBearerErrorAnswer));
        return;
    }
}

void TWireIMAP::Authenticate(const std::string& mechanism, const std::string& initial,
                             const std::string& answerToError)
{
    const std::string response = initial.empty() ? "=" : EncodeLine(initial);
    const std::string tag = NextTag();
    Reader().ReadUntilTag = true;
    if (HasCapability("SASL-IR")) {
        SendLine(tag + " AUTHENTICATE " + mechanism + " " + response);
    } else {
        SendLine(tag + " AUTHENTICATE " + mechanism);
        if (Await(tag) == kImapContinue) {
            if (!Trim(Reader().Responses().back().text).empty()) {
                // Anything but an empty challenge is not this mechanism's
                // exchange: called off, and the server's refusal raised.
                SendLine(kSaslCancel);
                AwaitTagged(tag);
                throw EWireResponseError(ResultText);
            }
            SendLine(response);
        } else {
            throw EWireResponseError(ResultText);
        }
    }
    if (Await(tag) == kImapContinue) {
        // A challenge after the response carries the server's error details;
        // the exchange is ended as the mechanism says and the server refuses.
        const std::string details = Trim(DecodeBase64Text(Reader().Responses().back().text));
        SendLine(answerToError);
        AwaitTagged(tag);
        throw EWireResponseError(ResultText + (details.empty() ? "" : "\r" + details));
    }
    if (ResultCode != kReplyOk)
        throw EWireResponseError(ResultText);
    DoStatus("  Signed in (" + mechanism + ")");
}

ImapSelected TWireIMAP::Open(const std::string& verb, const std::string& mailbox)
{
    DeadlineScope deadline(*this);
    if (Command(verb + " " + WireMailbox(mailbox)) != kReplyOk)
        throw EWireResponseError(ResultText);
    ImapSelected s;
    for (const ImapResponse& r : Reader().Responses()) {
        uint32_t n = 0;
        if (r.Untagged() && r.items.size() == 2 && r.items[0].Number(n)) {
            if (r.items[1].Is("EXISTS"))
                s.exists = n;
            else if (r.items[1].Is("RECENT"))
                s.recent = n;
        }
        if (r.code.empty())
            continue;
        if (r.code[0].Is("READ-ONLY") && !r.Untagged())
            s.readOnly = true;
        if (r.code.size() < 2 || !r.code[1].Number(n))
            continue;
        if (r.code[0].Is("UIDVALIDITY"))
            s.uidValidity = n;
        else if (r.code[0].Is("UIDNEXT"))
            s.uidNext = n;
        else if (r.code[0].Is("UNSEEN"))
            s.firstUnseen = n;
    }
    return s;
}

ImapSelected TWireIMAP::Examine(const std::string& mailbox)
{
    return Open("EXAMINE", mailbox);
}

ImapSelected TWireIMAP::Select(const std::string& mailbox)
{
    return Open("SELECT", mailbox);
}

ImapStatus TWireIMAP::Status(const std::string& mailbox)
{
    DeadlineScope deadline(*this);
    if (Command("STATUS " + WireMailbox(mailbox) + " (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)") != kReplyOk)
        throw EWireResponseError(ResultText);
    ImapStatus st;
    for (const ImapResponse& r : Reader().Responses()) {
        if (!r.Untagged() || r.items.size() != 3 || !r.items[0].Is("STATUS") || r.items[2].kind != ImapValue::List)
            continue;
        const std::vector<ImapValue>& pairs = r.items[2].items;
        for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
            uint32_t n = 0;
            if (!pairs[i + 1].Number(n))
                continue;
            if (pairs[i].Is("MESSAGES"))
                st.messages = n;
            else if (pairs[i].Is("UNSEEN"))
                st.unseen = n;
            else if (pairs[i].Is("UIDNEXT"))
                st.uidNext = n;
            else if (pairs[i].Is("UIDVALIDITY"))
                st.uidValidity = n;
        }
        break;
    }
    return st;
}

std::vector<uint32_t> TWireIMAP::UidSearch(const std::string& criteria)
{
    DeadlineScope deadline(*this);
    const bool esearch = HasCapability("ESEARCH");
    if (Command("UID SEARCH " + std::string(esearch ? "RETURN (ALL) " : "") + criteria) != kReplyOk)
        throw EWireResponseError(ResultText);
    std::vector<std::string_view> texts;
    for (const ImapResponse& r : Reader().Responses()) {
        if (!r.Untagged() || r.items.empty())
            continue;
        if (r.items[0].Is("SEARCH")) {
            const std::string_view line = r.line;
            const size_t at = line.find(' ', line.find(' ') + 1); // after "* SEARCH"
            if (at != std::string_view::npos)
                texts.push_back(line.substr(at));
        } else if (r.items[0].Is("ESEARCH")) {
            for (size_t i = 1; i + 1 < r.items.size(); ++i)
                if (r.items[i].Is("ALL") && r.items[i + 1].kind == ImapValue::Atom)
                    texts.push_back(r.items[i + 1].text);
        }
    }
    return ExpandUids(texts);
}

std::vector<ImapHeaderFields> TWireIMAP::FetchHeaderFields(const std::vector<uint32_t>& uids)
{
    std::vector<uint32_t> wanted = uids;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    wanted.erase(std::remove(wanted.begin(), wanted.end(), 0u), wanted.end());
    if (wanted.size() > kMaxHeaderSets)
        wanted.erase(wanted.begin(), wanted.end() - static_cast<std::ptrdiff_t>(kMaxHeaderSets));
    if (wanted.empty())
        return {};
    DeadlineScope deadline(*this);
    if (Command("UID FETCH " + UidSet(wanted) + " (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])") != kReplyOk)
        throw EWireResponseError(ResultText);
    std::vector<ImapHeaderFields> out;
    std::vector<uint32_t> told;
    for (const ImapResponse& r : Reader().Responses()) {
        if (!r.Untagged() || r.items.size() != 3 || !r.items[1].Is("FETCH") || r.items[2].kind != ImapValue::List)
            continue;
        const std::vector<ImapValue>& pairs = r.items[2].items;
        uint32_t uid = 0;
        const ImapValue* header = nullptr;
        for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
            if (pairs[i].Is("UID"))
                pairs[i + 1].Number(uid);
            else if (IsBodySection(pairs[i]))
                header = &pairs[i + 1];
        }
        // Only what was asked for, and each message once.
        if (!header || !std::binary_search(wanted.begin(), wanted.end(), uid) ||
            std::find(told.begin(), told.end(), uid) != told.end())
            continue;
        told.push_back(uid);
        out.push_back({uid, HeaderLines(header->text)});
    }
    return out;
}

bool TWireIMAP::FetchMessage(uint32_t uid, TWireMessage& m)
{
    DeadlineScope deadline(*this);
    bool quoted = false;
    const std::string tag = NextTag();
    Reader().ReadUntilTag = true;
    Reader().StreamBodyLiteral(MaxMessageBytes);
    try {
        SendLine(tag + " UID FETCH " + std::to_string(uid) + " (BODY.PEEK[])");
        AwaitTagged(tag);
    } catch (...) {
        Reader().StopStreaming();
        throw;
    }
    Reader().StopStreaming();
    if (ResultCode == kReplyOk) {
        // A small message may come as a quoted string.
        const std::string* text = nullptr;
        for (const ImapResponse& r : Reader().Responses())
            if (r.Untagged() && r.items.size() == 3 && r.items[1].Is("FETCH") && r.items[2].kind == ImapValue::List)
                for (size_t i = 0; i + 1 < r.items[2].items.size(); i += 2)
                    if (IsBodySection(r.items[2].items[i]) && r.items[2].items[i + 1].kind == ImapValue::String)
                        text = &r.items[2].items[i + 1].text;
        if (!text)
            return false; // no such message (gone)
        Reader().ServeText(*text);
        ResultCode = kImapBodyLiteral;
        quoted = true;
    }
    if (ResultCode != kImapBodyLiteral)
        return false; // refused
    DoStatus("  Message " + std::to_string(uid) + " (" + std::to_string(Reader().BodyLiteralSize()) + " bytes)");
    try {
        ReceiveHeaders(m, "");
        ReceiveBody(m);
    } catch (const EWireException&) {
        // A message the reader cannot follow has been read to its end: the
        // reply is finished so that the next command gets its own.
        if (Connected() && !Reader().OutOfStep()) {
            SkipToMessageEnd();
            if (!quoted)
                AwaitTagged(tag);
        }
        throw;
    }
    SkipToMessageEnd();
    // The rest of the FETCH, then the tagged reply (another literal of the
    // same message would be read as a value, within the reply's bounds).
    if (!quoted)
        AwaitTagged(tag);
    DoStatus("    From: " + m.From());
    DoStatus("    Subject: " + m.Subject());
    return true;
}

bool TWireIMAP::DeleteMessage(uint32_t uid)
{
    DeadlineScope deadline(*this);
    const std::string id = std::to_string(uid);
    if (Command("UID STORE " + id + " +FLAGS.SILENT (\\Deleted)") != kReplyOk)
        return false;
    if (HasCapability("UIDPLUS"))
        Command("UID EXPUNGE " + id);
    else
        Command("EXPUNGE");
    return ResultCode == kReplyOk;
}

bool TWireIMAP::StartIdle()
{
    if (!HasCapability("IDLE") || idling_)
        return idling_;
    DeadlineScope deadline(*this, kFixed);
    idleTag_ = NextTag();
    Reader().ReadUntilTag = true;
    SendLine(idleTag_ + " IDLE");
    Await(idleTag_);
    for (const ImapResponse& r : Reader().Responses())
        if (r.Untagged())
            pendingEvents_.push_back(EventOf(r));
    idling_ = ResultCode == kImapContinue;
    return idling_;
}

std::vector<ImapIdleEvent> TWireIMAP::WaitIdle(int ms)
{
    std::vector<ImapIdleEvent> out = std::move(pendingEvents_);
    pendingEvents_.clear();
    if (!out.empty() || !idling_ || !Connected())
        return out;
    Restore<bool> one(Reader().ReadUntilTag, false);
    Restore<int> wait(Timeout, std::max(ms, 1));
    DeadlineScope deadline(*this, kFixed);
    do {
        try {
            Await(idleTag_);
        } catch (const EWireSocketError& e) {
            if (e.Code == kWsaTimedOut && !Reader().MidResponse() && Connected())
                break; // nothing (more) came
            throw;
        }
        const ImapResponse& r = Reader().Responses().back();
        out.push_back(EventOf(r));
        if (out.back().kind == ImapIdleEvent::Bye) {
            idling_ = false;
            Abort();
            break;
        }
        if (!r.Untagged()) {
            idling_ = false; // the server ended the IDLE itself
            break;
        }
    } while (BufferedBytes() > 0 && out.size() < kMaxIdleEvents);
    return out;
}

std::vector<ImapIdleEvent> TWireIMAP::StopIdle()
{
    std::vector<ImapIdleEvent> out = std::move(pendingEvents_);
    pendingEvents_.clear();
    if (!idling_)
        return out;
    idling_ = false;
    DeadlineScope deadline(*this, kFixed);
    Reader().ReadUntilTag = true;
    SendLine("DONE");
    try {
        AwaitTagged(idleTag_);
    } catch (const EWireSocketError&) {
        // A server that does not end the IDLE is no server to talk to.
        Abort();
        throw;
    }
    for (const ImapResponse& r : Reader().Responses())
        if (r.Untagged() && out.size() < kMaxIdleEvents)
            out.push_back(EventOf(r));
    return out;
}

void TWireIMAP::Abort()
{
    idling_ = false;
    Reader().Reset();
    TWireMessageClient::Disconnect();
}

void TWireIMAP::Disconnect()
{
    // Nothing is written to a server that never greeted us (a failed TLS
    // handshake), nor to one we stopped waiting for or lost step with.
    const bool polite = greeted_ && Connected() && Established() && !Cancelled() && !disconnecting_ &&
                        !ClosedGracefully && !Reader().OutOfStep() && !Reader().MidResponse() &&
                        !Reader().Reading();
    if (polite) {
        disconnecting_ = true;
        try {
            if (idling_)
                SendLine("DONE");
            SendLine(NextTag() + " LOGOUT");
        } catch (...) {
            // Going anyway: the reply is never waited for.
        }
        disconnecting_ = false;
    }
    idling_ = false;
    greeted_ = false;
    Reader().Reset();
    TWireMessageClient::Disconnect();
}

} // namespace pelko
