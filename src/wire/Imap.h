#pragma once
// TWireIMAP: an IMAP4rev1 client (IMAP4rev2 servers answer it as well) for
// checking a mailbox without changing it: signs in, opens the mailbox
// read-only (EXAMINE), asks its STATUS, searches by UID, fetches header
// fields and whole messages with BODY.PEEK (nothing read is marked seen),
// deletes one message by UID, and waits in IDLE for the server's news.
// Every command carries a tag of its own ("A1", "A2", ...); the replies are
// read by ImapReplyReader.
#include "wire/MessageClient.h"
#include "wire/Pop3.h" // SecretKind

#include <cstdint>
#include <string>
#include <vector>

namespace pelko {

class ImapReplyReader;

// How the login proves who we are. Automatic: AUTHENTICATE PLAIN where the
// server offers AUTH=PLAIN, else LOGIN (where LOGINDISABLED is absent); an
// OAuth 2.0 token (SecretKind::Token) goes as XOAUTH2, or OAUTHBEARER where
// only that is offered.
enum class ImapLogin { Automatic, Plain, Login, XOAuth2, OAuthBearer };

constexpr uint16_t kImapDefaultPort = 143;

inline const std::string kImapTokenNeedsTlsText =
    "An OAuth 2.0 token is never sent unencrypted: write the server as imaps://HOST or imap://HOST?starttls.";
// "imap://...?starttls" to a server that does not offer STARTTLS (or offers
// it only after TLS, or refuses it): nothing more is sent.
inline const std::string kImapNoStartTlsText =
    "The server does not offer STARTTLS: the sign-in was stopped before the password was sent. "
    "Write the server as imaps://HOST if it speaks TLS from the start.";
inline const std::string kImapLoginDisabledText =
    "The server takes no password over this connection (LOGINDISABLED) and offers no sign-in we can use.";

inline const std::string kImapTooManyUidsText = "The server named more messages than a mailbox can hold.";

// What EXAMINE told about the mailbox (0 where the server did not say).
struct ImapSelected {
    uint32_t exists = 0;
    uint32_t recent = 0;
    uint32_t uidValidity = 0;
    uint32_t uidNext = 0;
    uint32_t firstUnseen = 0; // message number of the first unseen message
    bool readOnly = false;    // the server confirmed [READ-ONLY]
};

// What STATUS (MESSAGES UNSEEN UIDNEXT UIDVALIDITY) told.
struct ImapStatus {
    uint32_t messages = 0;
    uint32_t unseen = 0;
    uint32_t uidNext = 0;
    uint32_t uidValidity = 0;
};

// The header fields one UID FETCH returned for one message: header lines
// unfolded, "name=value" (see TWireMessage::HeaderIn).
struct ImapHeaderFields {
    uint32_t uid = 0;
    TStrings headers;
};

// One piece of news an IDLE brought.
struct ImapIdleEvent {
    enum Kind {
        Exists,  // "* n EXISTS": the mailbox now holds n messages
        Expunge, // "* n EXPUNGE": message n is gone
        Recent,  // "* n RECENT"
        Fetch,   // "* n FETCH (...)": flags of message n changed
        Bye,     // "* BYE ...": the server closes the connection
        Other    // anything else ("* OK Still here"): a sign of life only
    };
    Kind kind = Other;
    uint32_t number = 0; // n for Exists, Expunge, Recent, Fetch
    std::string text;    // the line as the server sent it (literals left out)
};

// Port is 143; the bounds of a reply are wider than POP3's (MaxLineLength
// 8 MiB: a search result is one line; MaxReplyLines 10000, MaxReplyBytes
// 16 MiB, literals included).
class TWireIMAP : public TWireMessageClient {
public:
    TWireIMAP();
    ~TWireIMAP() override;

    // ---- what the account gives (as TWirePOP3) ----
    // Host: "imaps://host[:port][/mailbox]", "imap://host[:port][/mailbox]?starttls"
    // or "imap://host[:port][/mailbox]" (see HostSpec.h); UserID, Password.
    ImapLogin Mechanism = ImapLogin::Automatic;
    SecretKind Secret = SecretKind::Password; // Token: an OAuth 2.0 access token
    // The largest message (literal) FetchMessage takes; a larger one is
    // refused before it is read (EWireException), the connection closed.
    uint64_t MaxMessageBytes = 256ull * 1024 * 1024;
    // The most UIDs a search result may hold (after ranges are expanded);
    // more raises EWireResponseError kImapTooManyUidsText.
    static constexpr size_t kMaxUids = 1000000;

    // Connects (TLS first for imaps://), reads the greeting, asks CAPABILITY
    // (unless the greeting or the login carried them), for "?starttls" sends
    // STARTTLS and completes the handshake (not offered, refused or failing:
    // EWireTlsError kImapNoStartTlsText or the handshake's error, the secret
    // never sent), then signs in as Mechanism and Secret say: AUTHENTICATE
    // PLAIN (initial response with SASL-IR), XOAUTH2, OAUTHBEARER, or LOGIN
    // (never where LOGINDISABLED is offered). A login the server refuses
    // raises EWireSignInRefused with the server's words. Runs under one
    // fixed deadline. On any failure after the socket is connected it
    // disconnects and raises the failure. A token over a plain connection to
    // another machine is refused before anything is connected
    // (EWireTlsError kImapTokenNeedsTlsText). A PREAUTH greeting skips the login.
    void Connect() override;
    // Raises EWireTlsError kImapTokenNeedsTlsText where Connect would refuse
    // to send a bearer token in clear.
    void RefuseBearerInClear() const;

    // True when the server's last CAPABILITY list names cap (letter case
    // ignored; "AUTH=PLAIN", "IDLE", "UIDPLUS", "IMAP4rev2", ...).
    bool HasCapability(const std::string& cap) const;
    const TStrings& Capabilities() const { return capabilities_; }

    // The mailbox the host text names (after the last Connect, or parsed
    // from Host when not connected): "INBOX" when it names none. As the
    // user wrote it (UTF-8); the commands send it in modified UTF-7.
    std::string MailboxName() const;

    // "EXAMINE mailbox" (read-only: nothing it does marks mail seen); an
    // empty mailbox means MailboxName(). Refused: EWireResponseError.
    ImapSelected Examine(const std::string& mailbox = "");
    // "STATUS mailbox (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)". Refused:
    // EWireResponseError.
    ImapStatus Status(const std::string& mailbox = "");
    // "UID SEARCH criteria" ("UNSEEN", "UID 120:*" ...; sent as given, so it
    // must come from the program, never from a server) over the examined
    // mailbox: the UIDs found, ascending, without repeats. An answer of more
    // than kMaxUids UIDs (ranges counted as expanded) raises
    // EWireResponseError kImapTooManyUidsText, allocating nothing for them.
    std::vector<uint32_t> UidSearch(const std::string& criteria);
    // One "UID FETCH set (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])" for
    // all of uids (nothing sent when empty): the fields of each message the
    // server returned, in the server's order. UIDs no longer there are left
    // out, and so is anything not asked for. At most the highest 1000 of
    // uids are asked for at once. Refused: EWireResponseError.
    std::vector<ImapHeaderFields> FetchHeaderFields(const std::vector<uint32_t>& uids);
    // "UID FETCH uid (BODY.PEEK[])": the whole message through the MIME
    // reader into m. false (m untouched) when the server refuses or returns
    // no such message (it is gone).
    bool FetchMessage(uint32_t uid, TWireMessage& m);
    // "UID STORE uid +FLAGS.SILENT (\Deleted)", then "UID EXPUNGE uid" where
    // UIDPLUS is offered, else "EXPUNGE" (which also removes other messages
    // flagged \Deleted by another client). Needs the mailbox opened
    // read-write: Select first. false when the server refuses.
    bool DeleteMessage(uint32_t uid);
    // "SELECT mailbox": opened read-write, for DeleteMessage (reading with
    // BODY.PEEK still marks nothing seen). Refused: EWireResponseError.
    ImapSelected Select(const std::string& mailbox = "");

    // ---- IDLE (RFC 2177) ----
    // Sends "IDLE" and waits for the "+" continuation; false (nothing
    // running) when the server does not offer IDLE or refuses it.
    bool StartIdle();
    // Waits up to ms milliseconds for the server's untagged data in IDLE and
    // returns what came (empty: nothing in ms). Returns as soon as a line
    // came and nothing more is waiting. Any line is a sign of life. After a
    // BYE (the last event returned) the connection is closed. A connection
    // that fails raises the socket error; Cancel raises EWireCancelled.
    std::vector<ImapIdleEvent> WaitIdle(int ms);
    // Sends "DONE" and reads the IDLE command's tagged reply (news arriving
    // meanwhile is returned). A server that does not answer within Timeout
    // raises EWireSocketError (time-out); the connection is then closed.
    std::vector<ImapIdleEvent> StopIdle();
    bool Idling() const { return idling_; }

    // "LOGOUT" ("DONE" first while in IDLE; the reply is not waited for),
    // then closes. A connection that never brought a greeting, was
    // cancelled, or is out of step is closed without a word. Never raises.
    void Disconnect() override;
    // Closes without writing anything. Never raises.
    void Abort();

private:
    ImapReplyReader& Reader() const;
    std::string NextTag();
    // Writes one command line (refused when it holds CR or LF).
    void SendLine(const std::string& line);
    // Reads one reply (see ImapReplyReader); a tagged line with another tag
    // than tag, or a reply the reader cannot follow, closes the connection
    // and raises. Returns ResultCode.
    int16_t Await(const std::string& tag);
    // Await up to the tagged reply (or a message literal), answering a
    // continuation request with "*" (a few at most, then the connection is
    // given up on).
    int16_t AwaitTagged(const std::string& tag);
    // Sends "tag command" and reads up to its tagged reply (a continuation
    // request is answered with "*"). Returns ResultCode: kReplyOk for OK,
    // kReplyErr for NO and BAD; the responses stay in Reader().
    int16_t Command(const std::string& command);
    // The same with string arguments, quoted, or as literals where they
    // hold 8-bit characters.
    int16_t CommandWithStrings(const std::string& verb, const std::vector<std::string>& args);
    // Takes the capabilities the last reply named (a CAPABILITY response or
    // response code); false when it named none.
    bool TakeCapabilities();
    void AskCapabilities();
    void LogIn();
    void Authenticate(const std::string& mechanism, const std::string& initial, const std::string& answerToError);
    ImapSelected Open(const std::string& verb, const std::string& mailbox);
    bool SendsBearerToken() const;
    std::string WireMailbox(const std::string& mailbox) const;

    TStrings capabilities_;
    uint32_t tagNumber_ = 0;
    std::string idleTag_;
    bool idling_ = false;
    bool disconnecting_ = false;
    bool greeted_ = false; // the server's greeting was read on this connection
    std::vector<ImapIdleEvent> pendingEvents_; // news that came with the IDLE's start
};

} // namespace pelko
