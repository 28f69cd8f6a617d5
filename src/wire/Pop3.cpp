#include "wire/Pop3.h"

#include "mime/Coders.h"
#include "mime/TextUtil.h"
#include "wire/Pop3ReplyReader.h"
#include "wire/SaslResponses.h"
#include "wire/TlsTransport.h"
#include "wire/WireErrors.h"

#include <cstdint>
#include <string>

namespace pelko {

namespace {

// The longest command line a server must take, CR LF included (RFC 2449).
constexpr size_t kMaxCommandOctets = 255;

// A "+ " continuation: the server wants more from the client (ReadResponse
// finds no code in it).
bool IsContinuation(int16_t code, const std::string& reply)
{
    return code != kReplyOk && reply.compare(0, 1, "+") == 0;
}

// 127.0.0.0/8 and ::1 written as addresses: a connection that never leaves
// this machine.
bool IsLoopbackLiteral(const std::string& host)
{
    if (!IsIpLiteral(host))
        return false;
    return host.compare(0, 4, "127.") == 0 || host == "::1" || host == "0:0:0:0:0:0:0:1";
}

} // namespace

TWirePOP3::TWirePOP3()
{
    Port = 110;
    SetReplyReader(std::make_unique<Pop3ReplyReader>());
}

TWirePOP3::~TWirePOP3()
{
    UnhookEvents();
    if (Connected()) {
        try {
            TWirePOP3::Disconnect();
        } catch (...) {
        }
    }
}

bool TWirePOP3::SendsBearerToken() const
{
    return Secret == SecretKind::Token || Mechanism == Pop3Login::XOAuth2 || Mechanism == Pop3Login::OAuthBearer;
}

void TWirePOP3::RefuseBearerInClear() const
{
    if (!SendsBearerToken())
        return;
    const HostSpec target = ParseHostSpec(Host);
    if (target.problem.empty() && target.security == HostSecurity::Plain && !IsLoopbackLiteral(target.host))
        throw EWireTlsError(kTokenNeedsTlsText);
}

void TWirePOP3::Connect()
{
    ThrowIfCancelled();
    RefuseBearerInClear();
    // Connect, greeting, User and Pass together, however much arrives.
    DeadlineScope deadline(*this, kFixed);
    TWireMessageClient::Connect();
    try {
        ResultText = ReadLine();
        if (ResultText.compare(0, 3, "+OK") != 0)
            throw EWireConnectRefused(ResultText);
        DoStatus("Connected");
        if (Target().security == HostSecurity::StartTls) {
            // No silent downgrade: without STLS the login stops here, before
            // the user name or password leave in clear.
            SendCommand("STLS", kAnyReply, 1, "");
            if (ResultCode != kReplyOk)
                throw EWireTlsError(kNoStlsText);
            StartTls();
        }
        try {
            LogIn();
        } catch (const EWireSignInRefused&) {
            throw;
        } catch (const EWireResponseError& refused) {
            // The server said no to who we are (not a lost connection).
            throw EWireSignInRefused(refused.what());
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

void TWirePOP3::LogIn()
{
    const bool token = Secret == SecretKind::Token;
    Pop3Login how = Mechanism;
    if (how == Pop3Login::Automatic && token)
        how = Pop3Login::XOAuth2; // what the providers that hand out tokens take
    switch (how) {
    case Pop3Login::Automatic:
        SendCommand("User " + UserID, kAnyReply, 1, "");
        if (ResultCode == kReplyOk) {
            DoStatus("  User Account is valid");
            SendCommand("Pass " + Password, kReplyOk, 1, "Password is valid");
            return;
        }
        // Some servers take no "User" at all, only SASL.
        AuthPlain();
        return;
    case Pop3Login::Plain:
        AuthPlain();
        return;
    case Pop3Login::XOAuth2:
        Authenticate("XOAUTH2", SaslXOAuth2Response(UserID, Password), "");
        return;
    case Pop3Login::OAuthBearer:
        Authenticate("OAUTHBEARER", SaslOAuthBearerResponse(UserID, Target().host, ConnectPort(), Password),
                     EncodeLine(kOAuthBearerErrorAnswer));
        return;
    }
}

void TWirePOP3::AuthPlain()
{
    Authenticate("PLAIN", SaslPlainResponse(UserID, Password), kSaslCancel);
}

void TWirePOP3::Authenticate(const std::string& mechanism, const std::string& initial,
                             const std::string& answerToError)
{
    const std::string response = EncodeLine(initial);
    const std::string withResponse = "AUTH " + mechanism + " " + response;
    if (withResponse.size() + LineEnd.size() <= kMaxCommandOctets) {
        SendCommand(withResponse, kAnyReply, 1, "");
    } else {
        // Too long for one command line: the mechanism alone, and the
        // response once the server asks for it with an empty challenge.
        SendCommand("AUTH " + mechanism, kAnyReply, 1, "");
        if (IsContinuation(ResultCode, ResultText)) {
            if (ResultText.find_first_not_of(" \t", 1) != std::string::npos) {
                // Anything but an empty challenge is not this mechanism's
                // exchange: called off, and the server's refusal raised.
                const std::string challenge = ResultText;
                SendCommand(kSaslCancel, kAnyReply, 1, "");
                throw EWireResponseError(ResultCode == kReplyErr ? ResultText : challenge);
            }
            SendCommand(response, kAnyReply, 1, "");
        }
    }
    if (IsContinuation(ResultCode, ResultText)) {
        // A challenge after the initial response carries the server's error
        // details; the exchange is ended as the mechanism says and the
        // server then refuses.
        const std::string details = Trim(DecodeBase64Text(ResultText.substr(1)));
        SendCommand(answerToError, kAnyReply, 1, "");
        throw EWireResponseError(ResultText + (details.empty() ? "" : "\r" + details));
    }
    if (ResultCode != kReplyOk)
        throw EWireResponseError(ResultText);
    DoStatus("  Signed in (" + mechanism + ")");
}

void TWirePOP3::Abort()
{
    TWireMessageClient::Disconnect();
}

void TWirePOP3::Disconnect()
{
    if (disconnecting_) {
        // Reached again from inside the "Quit" write (the peer had gone):
        // just close, once.
        closedInside_ = true;
        TWireMessageClient::Disconnect();
        return;
    }
    if (Connected() && (!Established() || Cancelled())) {
        // Nothing is written to a connection that never came about, nor to
        // a server we stopped waiting for.
        TWireMessageClient::Disconnect();
        return;
    }
    disconnecting_ = true;
    closedInside_ = false;
    try {
        WriteLine("Quit");
    } catch (...) {
        disconnecting_ = false;
        if (!closedInside_)
            TWireMessageClient::Disconnect();
        throw;
    }
    disconnecting_ = false;
    if (!closedInside_)
        TWireMessageClient::Disconnect();
}

int32_t TWirePOP3::CountFromStat()
{
    SendCommand("STAT", kReplyOk, 0, "");
    // "+OK count size"
    const std::string& reply = ResultText;
    size_t i = 3;
    while (i < reply.size() && reply[i] == ' ')
        ++i;
    int64_t count = 0;
    bool digits = false;
    while (i < reply.size() && reply[i] >= '0' && reply[i] <= '9' && count < INT32_MAX) {
        count = count * 10 + (reply[i] - '0');
        digits = true;
        ++i;
    }
    if (!digits)
        throw EWireResponseError(reply);
    return static_cast<int32_t>(count > INT32_MAX ? INT32_MAX : count);
}

int32_t TWirePOP3::CheckMessages()
{
    DeadlineScope deadline(*this);
    int32_t count = 0;
    CheckError.clear();
    UniqueIds.clear();
    UniqueIdsComplete = false;
    bool keep = KeepUniqueIds;
    try {
        try {
            SendCommand("UIDL", kReplyOk, 0, "Checking for messages");
        } catch (const EWireResponseError& refused) {
            // A server without UIDL still holds mail: say why, then ask STAT.
            DoStatus(refused.what());
            return CountFromStat();
        }
        // Far beyond any real mailbox; past it the count would no longer fit.
        constexpr int32_t kMaxListing = 10000000;
        Replies().BeginData();
        std::string_view line;
        while (Replies().NextDataLine(*this, line)) {
            if (count == kMaxListing)
                throw EWireException("Too many messages in the listing.");
            ++count;
            if (keep)
                keep = KeepListedId(line);
        }
    } catch (const std::exception& e) {
        UniqueIds.clear();
        CheckError = e.what();
        DoStatus(e.what());
        return count;
    }
    if (!keep)
        UniqueIds.clear();
    UniqueIdsComplete = keep;
    return count;
}

bool TWirePOP3::KeepListedId(std::string_view line)
{
    // "n uid": the number, blanks, then the id (printable, no blanks).
    size_t i = 0;
    int64_t number = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && number <= INT32_MAX)
        number = number * 10 + (line[i++] - '0');
    const size_t digits = i;
    while (i < line.size() && line[i] == ' ')
        ++i;
    size_t end = i;
    while (end < line.size() && line[end] > ' ' && line[end] < 0x7F)
        ++end;
    if (digits == 0 || number > INT32_MAX || i == end || end - i > kMaxUidLength || UniqueIds.size() >= kMaxKeptIds)
        return false; // not a listing to go by: the count rule decides
    UniqueIds.push_back({static_cast<int32_t>(number), std::string(line.substr(i, end - i))});
    return true;
}

bool TWirePOP3::RetrieveMessage(int32_t number, TWireMessage& m)
{
    DeadlineScope deadline(*this);
    SendCommand("RETR " + std::to_string(number), kAnyReply, 0, "");
    if (ResultCode == kReplyOk) {
        DoStatus("  " + ResultText);
        ReceiveHeaders(m, "");
        ReceiveBody(m);
        DoStatus("    From: " + m.From());
        DoStatus("    Subject: " + m.Subject());
    }
    return ResultCode == kReplyOk;
}

bool TWirePOP3::RetrieveHeaders(int32_t number, TWireMessage& m)
{
    DeadlineScope deadline(*this);
    SendCommand("TOP " + std::to_string(number) + " 0", kReplyOk, 0, "Retrieving headers");
    if (ResultCode != kReplyOk)
        return false;
    ReceiveHeaders(m, "");
    std::string_view line;
    if (!NextBodyLine(line))
        return true; // the end line ended the header block or came right after it
    // Body lines the server should not have sent: read them away so the next
    // command gets its own reply.
    SkipToMessageEnd();
    return false;
}

bool TWirePOP3::DeleteMessage(int32_t number)
{
    DeadlineScope deadline(*this);
    SendCommand("DELE " + std::to_string(number), kAnyReply, 0, "");
    return ResultCode == kReplyOk;
}

} // namespace pelko
