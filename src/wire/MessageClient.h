#pragma once
// TWireMessageClient: receives a message (header block, then the body up to
// its end) from the server and hands its lines to the MIME reader
// (mime/MessageParser.h), which fills a TWireMessage. The lines come framed
// as the protocol frames the data after a reply: its reply reader
// (ReplyReader::NextDataLine) says where the message ends.
#include "mime/MessageParser.h"
#include "mime/WireMessage.h"
#include "wire/WireClient.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace pelko {

class TWireMessageClient : public TWireClient {
public:
    std::string XProgram; // stored only

    // Clears m and reads its header block up to the terminator line.
    virtual void ReceiveHeaders(TWireMessage& m, const std::string& terminator);
    // Reads and parses the body up to the message's end. A message the
    // reader cannot follow raises EWireException with its text ("Boundary
    // error"), the connection read up to the message's end.
    virtual void ReceiveBody(TWireMessage& m);
    // Writes m's text (and attachments as a MIME body); no header, no end line.
    virtual void SendBody(TWireMessage& m);

    // Captures lines up to one of the terminators (exact match); returns its
    // 1-based index. Lines for nowhere go to OnCaptureLine when assigned. With "." as the first terminator, a leading ".." loses
    // one ".".
    int CaptureLines(CaptureDest dest, const TStrings& terminators);
    // Clears list, captures up to terminator, unfolds continuation lines and
    // turns "name: value" into "name=value".
    void CaptureHeaders(TStrings& list, const std::string& terminator);

    // True once the end of the message being received has been read.
    bool MessageEnded() const { return Replies().DataEnded(); }

protected:
    // Reads the rest of the current message up to its end.
    void SkipToMessageEnd();

    // The next line of the message being received, as the reply reader
    // frames it; false once its end was read.
    bool NextBodyLine(std::string_view& line) { return Replies().NextDataLine(*this, line); }

private:
    // The reply's lines as the parser reads them; each piece it reads is a
    // work period (progress events).
    struct BodyLines : MessageLines {
        explicit BodyLines(TWireMessageClient& c) : client(c) {}
        bool NextLine(std::string_view& line) override { return client.NextBodyLine(line); }
        void PieceBegins() override { client.BeginWork(kNoWorkSize); }
        void PieceEnds() override { client.EndWork(); }
        TWireMessageClient& client;
    };
    // Runs one reading step of the parser; its format error becomes the
    // protocol stack's.
    template <typename Step>
    void Parse(Step step);

    BodyLines bodyLines_{*this};
    TMessageParser parser_{bodyLines_};
};

} // namespace pelko
