#pragma once
// The replies of IMAP (RFC 3501, RFC 9051). A reply is the untagged
// responses ("* ...") up to the tagged line that ends the command ("A7 OK
// ..."), or up to a continuation request ("+ ...") where the client has more
// to send. Each response is read into values: atoms, quoted strings,
// literals ("{n}" or "{n+}" at a line's end, then n octets), NIL and
// parenthesized lists, however they are spread over lines. The status
// responses (OK, NO, BAD, BYE, PREAUTH) keep their response code ("[...]")
// as values and their text as it stands.
//
// Everything is bounded: each line by the socket's MaxLineLength, the lines
// and bytes of one reply by MaxReplyLines and MaxReplyBytes (a literal's
// octets counted as well), the nesting of lists by kMaxDepth, the values of
// one response by kMaxValues. A SEARCH response is kept as its text only
// (ImapResponse::line), whatever its length, and read by the client.
//
// A literal that holds a whole message (BODY[...] of a FETCH, with
// StreamBodyLiteral set) is not taken into memory: ReadReply stops before its
// octets (ResultCode kImapBodyLiteral), the client reads them as the data
// after the reply (NextDataLine: its lines, CR LF or LF ended, the last one
// maybe without an end), and the next ReadReply goes on after the literal.
#include "wire/ReplyReader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pelko {

// ResultCode besides kReplyOk (OK) and kReplyErr (NO, BAD): a continuation
// request, a lone untagged response (with ReadUntilTag off), and a message
// literal waiting to be read.
enum ImapReplyCode : int16_t { kImapContinue = 2, kImapUntagged = 3, kImapBodyLiteral = 4 };

struct ImapValue {
    enum Kind { Atom, String, Nil, List };
    Kind kind = Atom;
    std::string text;             // Atom, String
    std::vector<ImapValue> items; // List

    // A number (an atom of 1 to 10 digits within 32 bits); false otherwise.
    bool Number(uint32_t& n) const;
    // An atom equal to word, ignoring ASCII letter case.
    bool Is(const char* word) const;
};

struct ImapResponse {
    std::string tag;              // "*", "+", or the command's tag
    std::string keyword;          // status: OK, NO, BAD, BYE, PREAUTH (as upper case); else empty
    std::vector<ImapValue> items; // data: every value after the tag ("5", "EXISTS"; "FETCH", ...)
    std::vector<ImapValue> code;  // status: the response code's values ("UIDVALIDITY", "7")
    std::string text;             // status, continuation: the text after the code
    // The response as sent, a literal's octets shown as "{n}" only. Kept up
    // to kMaxKeptLine characters, a SEARCH response whole.
    std::string line;

    bool Untagged() const { return tag == "*"; }
    bool Continuation() const { return tag == "+"; }
};

class ImapReplyReader : public ReplyReader {
public:
    static constexpr size_t kMaxDepth = 32;
    static constexpr size_t kMaxValues = 20000;
    static constexpr size_t kMaxKeptLine = 1000;

    // Where ReadReply stops: at a tagged line (and a continuation request)
    // when true, after any one response when false (the greeting, IDLE).
    bool ReadUntilTag = true;
    // Stops before the octets of a BODY[...] literal (one per command: it is
    // cleared when met) that is no larger than maxBytes; a larger one raises
    // EWireException, the connection closed.
    void StreamBodyLiteral(uint64_t maxBytes)
    {
        streamBody_ = true;
        maxBodyBytes_ = maxBytes;
    }
    void StopStreaming() { streamBody_ = false; }

    // Reads one reply: ResultCode, ResultText (the last response's line),
    // and the responses (Responses(): the untagged ones, then the last).
    // A reply the reader cannot follow (an unbalanced ")", a quote never
    // closed, too deep, too many values) raises EWireResponseError, and the
    // reader is out of step with the server from then on (OutOfStep): its
    // client closes without another word.
    void ReadReply(TWireSocket& s) override;
    const std::vector<ImapResponse>& Responses() const { return responses_; }
    // True while a response is read only in part (the body literal, a
    // reading cut off by a time-out).
    bool MidResponse() const { return midResponse_; }
    bool OutOfStep() const { return outOfStep_; }
    // True while ReadReply runs (a connection closed from inside it was
    // given up on by the socket: a line or a reply past its bounds, the
    // peer gone).
    bool Reading() const { return reading_; }
    // Forgets a response read in part and the failure (a new connection).
    void Reset();
    void ClearOutOfStep() { outOfStep_ = false; }

    // The data after a kImapBodyLiteral reply: the literal's lines.
    void BeginData() override;
    bool NextDataLine(TWireSocket& s, std::string_view& line) override;
    bool DataEnded() const override { return literalLeft_ == 0 && pendingAt_ >= pending_.size(); }
    // The size of the body literal being read.
    uint64_t BodyLiteralSize() const { return literalSize_; }
    // Makes text the data to read (a message the server sent as a quoted
    // string rather than a literal).
    void ServeText(std::string text);

private:
    // Reads and parses lines until the response is complete or stops at a
    // body literal (true then).
    bool ParseResponse(TWireSocket& s, bool resume);
    // Parses from line[at]; false when a literal follows (its size in n).
    bool ParseValues(TWireSocket& s, const std::string& line, size_t at);
    void ParseStatus(TWireSocket& s, const std::string& line, size_t at);
    void AddValue(TWireSocket& s, ImapValue v);
    // The literal's octets as a string value (bounded by the reply's bytes).
    std::string ReadLiteral(TWireSocket& s, uint64_t n);
    [[noreturn]] void Fail(TWireSocket& s, const std::string& why);
    void KeepLine(std::string_view part);
    void Finish(TWireSocket& s);

    std::vector<ImapResponse> responses_;
    ImapResponse current_;
    std::vector<ImapValue> stack_; // open lists; stack_[0] holds the response's values
    size_t values_ = 0;
    bool midResponse_ = false;
    bool outOfStep_ = false;
    bool stoppedAtBody_ = false; // ReadReply stopped before a body literal
    bool reading_ = false;
    uint64_t literalN_ = 0; // the size of the literal a line ended with
    bool searchResponse_ = false;
    bool streamBody_ = false;
    uint64_t maxBodyBytes_ = 0;
    uint64_t replyLiteralBytes_ = 0;
    // The body literal being read as data.
    uint64_t literalSize_ = 0;
    uint64_t literalLeft_ = 0;
    std::string pending_;
    size_t pendingAt_ = 0;
};

// A number of IMAP's 32-bit range written in decimal digits only; false for
// anything else (a sign, a blank, more than 10 digits, past 4294967295).
bool ParseImapNumber(std::string_view text, uint32_t& n);

} // namespace pelko
