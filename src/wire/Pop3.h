#pragma once
// TWirePOP3: logs in, counts the waiting messages from the unique-id
// listing, fetches a whole message or its header, deletes, quits. Commands
// are written exactly "User ", "Pass ", "Quit", "UIDL", "STAT", "RETR n",
// "TOP n 0", "DELE n".
#include "wire/MessageClient.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelko {

// How the login proves who we are. Automatic: "User" and "Pass" (with
// "AUTH PLAIN" when the server refuses "User"), or XOAUTH2 for a token.
enum class Pop3Login { Automatic, Plain, XOAuth2, OAuthBearer };
// What Password holds.
enum class SecretKind { Password, Token };

// A bearer token lets anyone who reads it sign in until it expires: it is
// sent over TLS only (or to this very machine).
inline const std::string kTokenNeedsTlsText =
    "An OAuth 2.0 token is never sent unencrypted: write the server as pop3s://HOST or pop3://HOST?starttls.";

class TWirePOP3 : public TWireMessageClient {
public:
    TWirePOP3();
    ~TWirePOP3() override;

    // The login, the listing and each message or deletion run under one
    // deadline each (see DeadlineScope).
    // Connects, reads the greeting, sends "User" and "Pass" (for a
    // "pop3://...?starttls" host first "STLS" and the TLS handshake; a
    // refused "STLS" raises EWireTlsError kNoStlsText). On any failure
    // after the socket is connected, disconnects (sending "Quit") and raises
    // the failure: the component is then idle. A token (or an XOAUTH2 or
    // OAUTHBEARER login) for a plain connection to another machine is
    // refused before anything is connected (EWireTlsError kTokenNeedsTlsText).
    void Connect() override;
    // Raises EWireTlsError kTokenNeedsTlsText when Mechanism and Secret would
    // send a bearer token over a plain connection to another machine (what
    // Connect refuses): lets the caller refuse before it fetches the token.
    void RefuseBearerInClear() const;
    Pop3Login Mechanism = Pop3Login::Automatic;
    SecretKind Secret = SecretKind::Password; // Token: an OAuth 2.0 access token

    // Writes "Quit" (the reply is not read), then closes. A write failure
    // (EWireClosedSocket without a socket) is raised after the close. A
    // connection that was never established, or whose exchange was
    // cancelled, is closed without "Quit".
    void Disconnect() override;
    // Closes without writing anything (a connection out of step with the
    // server after a failure). Never raises.
    void Abort();

    // Number of messages: lines of the "UIDL" listing. A refused "UIDL" is
    // reported as status and the count taken from "STAT". Failures are
    // reported as status; the count reached so far is returned.
    int32_t CheckMessages();
    // Why the last CheckMessages fell short (its status text); empty when it
    // counted to the end.
    std::string CheckError;
    // With KeepUniqueIds, CheckMessages also keeps each listing line's
    // message number and unique id (in listing order). They stay empty after
    // the STAT fall-back, a listing cut short or one past kMaxKeptIds lines.
    struct ListedId {
        int32_t number = 0;
        std::string uid;
    };
    bool KeepUniqueIds = false;
    std::vector<ListedId> UniqueIds;
    // True when the last CheckMessages read a whole "UIDL" listing and kept
    // every id: UniqueIds then is the mailbox, message for message.
    bool UniqueIdsComplete = false;
    static constexpr size_t kMaxKeptIds = 1000000;
    // The longest unique id a listing line may give (RFC 1939: 1 to 70 characters).
    static constexpr size_t kMaxUidLength = 70;
    // "RETR n": false (nothing read, m untouched) when the server refuses.
    bool RetrieveMessage(int32_t number, TWireMessage& m);
    // "TOP n 0": true when the header block was followed by the end line.
    // Raises EWireResponseError when refused.
    bool RetrieveHeaders(int32_t number, TWireMessage& m);
    // "DELE n": false when the server refuses.
    bool DeleteMessage(int32_t number);

private:
    // An OAuth 2.0 token, or a bearer mechanism, goes out with the login.
    bool SendsBearerToken() const;
    int32_t CountFromStat();
    // The login after the greeting (and STLS), as Mechanism and Secret say.
    void LogIn();
    void AuthPlain();
    // "AUTH mechanism initial-response", or, when that line would pass 255
    // octets, "AUTH mechanism" and the response after the server's empty
    // challenge. A challenge after the response (the server's error details)
    // is answered with answerToError, and the refusal raised.
    void Authenticate(const std::string& mechanism, const std::string& initial, const std::string& answerToError);
    bool KeepListedId(std::string_view line);
    bool disconnecting_ = false;
    bool closedInside_ = false;
};

} // namespace pelko
