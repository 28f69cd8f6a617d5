#pragma once
// The MIME reader: turns the lines of one message (its header block, then its
// body) into a TWireMessage, wherever the lines come from: a POP3 reply, a
// file, memory. One multipart level plus one nested multipart/alternative;
// text parts are kept as text (one sent as an attachment with a file name
// is stored as a file as well), other parts with a file name are stored as
// attachments in private temporary files (Base64 decoded, anything else line
// by line).
#include "mime/WireMessage.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pelko {

// The lines of one message, one at a time, without their line ends. false
// once the message is over (the end line of a reply, the end of a file);
// from then on always false.
class MessageLines {
public:
    virtual ~MessageLines() = default;
    virtual bool NextLine(std::string_view& line) = 0;
    // The parser reads a message in pieces (a header block, a part's lines);
    // a source that reports progress marks each piece as one piece of work.
    // PieceEnds also runs when the piece ends in an exception.
    virtual void PieceBegins() {}
    virtual void PieceEnds() {}
};

// Marks one piece of reading on a source for as long as it lives (PieceEnds
// also when the piece ends in an exception; an exception PieceEnds raises
// then gives way to the one already on its way).
class MessagePiece {
public:
    explicit MessagePiece(MessageLines& lines) : lines_(lines) { lines_.PieceBegins(); }
    ~MessagePiece() noexcept(false);
    MessagePiece(const MessagePiece&) = delete;
    MessagePiece& operator=(const MessagePiece&) = delete;

private:
    MessageLines& lines_;
};

// Where captured lines go: a list, a file (each line + CR LF), both, or nowhere.
struct CaptureDest {
    CaptureDest() = default;
    CaptureDest(TStrings* l) : lines(l) {} // NOLINT: implicit on purpose
    CaptureDest(std::FILE* f) : file(f) {} // NOLINT
    TStrings* lines = nullptr;
    std::FILE* file = nullptr;
};

// Writes line + CR LF to f; raises the write error.
void WriteCapturedLine(std::FILE* f, std::string_view line);

// A message the parser cannot follow (a multipart without a boundary).
class EMessageFormat : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline const std::string kBoundaryErrorText = "Boundary error";

class TMessageParser {
public:
    explicit TMessageParser(MessageLines& lines) : lines_(lines) {}

    // Clears m and reads its header block up to the terminator line (the
    // header's lines unfolded, "name: value" turned into "name=value").
    void ReadHeaders(TWireMessage& m, const std::string& terminator);
    // Reads and parses the body up to the end of the message. A multipart
    // without a boundary reads the message away, then raises EMessageFormat.
    void ReadBody(TWireMessage& m);

private:
    bool Next(std::string_view& line);
    void SkipToEnd();
    // Reads lines into dest up to one of the terminators; returns its 1-based
    // index, 0 when the message ended first.
    int Capture(const CaptureDest& dest, const TStrings& terminators);
    void CaptureHeaders(TStrings& list, const std::string& terminator);
    void Deliver(const CaptureDest& dest, std::string_view line);
    void ReadParts(TWireMessage& m);
    // How a part ended: the next delimiter, the closing delimiter, or the end
    // of the message.
    enum class PartEnd { MessageEnd = 0, Delimiter = 1, Closing = 2 };
    PartEnd HandlePart(TWireMessage& m, const TStrings& h, std::string& d, std::string& outerD);
    // Decodes a part into an attachment file; text, when given, also
    // receives the part's lines as received (a text part sent as a file).
    PartEnd StoreAttachment(TWireMessage& m, const TStrings& h, const std::string& fileName, const std::string& d,
                            TStrings* text = nullptr);

    MessageLines& lines_;
    bool ended_ = false;
    // What is left of the message's allowance of kept lines (see
    // TWireMessage::MaxTextBytes), and whether a line was dropped for it.
    size_t keepLeft_ = 0; // set from the message at ReadHeaders
    bool cut_ = false;
};

// Unfolds a captured header block in place (continuation lines joined to the
// line before, "name: value" turned into "name=value"). A first line that
// starts with a blank or tab has nothing to continue: it is kept as a line of
// its own.
void UnfoldHeaders(TStrings& list);

// The boundary parameter of a Content-Type value (quoted or not; the search
// ignores letter case). false when there is none.
bool ExtractBoundary(const std::string& contentType, std::string& boundary);

// The file name of a part: from its Content-Disposition ("filename*=" in
// the RFC 2231 forms, then filename="...", then filename= without quotes),
// else from the "name" parameter of its Content-Type (the same forms). Encoded
// forms come back as UTF-8. Empty when the part names no file.
std::string AttachmentFileName(const std::string& disposition, const std::string& contentType);

// A file name from a message reduced to its last path component; never
// empty, "." or "..".
std::string SafeFileName(const std::string& name);

} // namespace pelko
