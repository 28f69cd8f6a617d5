#pragma once
// How the replies of one protocol are read. The socket layer moves lines and
// bytes (deadlines, the line bound, each reply's bounds); a reply reader
// knows where one of its protocol's replies ends and what it says, and how
// the data that follows a reply (a listing, a message) is framed. A client
// hands its reader to its socket (TWireSocket::SetReplyReader); ReadResponse
// and SendCommand then read that protocol's replies.
#include <string_view>

namespace pelko {

class TWireSocket;

class ReplyReader {
public:
    virtual ~ReplyReader() = default;

    // Reads one reply off s, its lines through s.ReadReplyLine (each line it
    // takes as the reply's also goes to s.LogReplyLine), and sets s's
    // ResultCode, ResultText and ResponseLines.
    virtual void ReadReply(TWireSocket& s) = 0;

    // The data that follows a reply, line by line as the protocol frames
    // it: BeginData starts a new one; NextDataLine gives its next line
    // (valid until the next read on s), false once its end was read and from
    // then on; DataEnded says whether that end was read.
    virtual void BeginData() = 0;
    virtual bool NextDataLine(TWireSocket& s, std::string_view& line) = 0;
    virtual bool DataEnded() const = 0;
};

} // namespace pelko
