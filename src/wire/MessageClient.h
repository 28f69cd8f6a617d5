#pragma once
// TWireMessageClient: receives a message (header block, then the body up to
// the end line ".") into a TWireMessage, with a small MIME state machine: one
// multipart level plus one nested multipart/alternative; text parts kept as
// text, parts with a file name stored as attachments in private temporary
// files (Base64 decoded, anything else line by line).
#include "wire/WireClient.h"
#include "wire/WireMessage.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace pelko {

// Where captured lines go: a list, a file (each line + CR LF), or nowhere
// (then to OnCaptureLine when assigned).
struct CaptureDest {
    CaptureDest() = default;
    CaptureDest(TStrings* l) : lines(l) {}   // NOLINT: implicit on purpose
    CaptureDest(std::FILE* f) : file(f) {}   // NOLINT
    TStrings* lines = nullptr;
    std::FILE* file = nullptr;
};

class TWireMessageClient : public TWireClient {
public:
    std::string XProgram; // stored only

    // Clears m and reads its header block up to the terminator line.
    virtual void ReceiveHeaders(TWireMessage& m, const std::string& terminator);
    // Reads and parses the body up to the end line ".".
    virtual void ReceiveBody(TWireMessage& m);
    // Writes m's text (and attachments as a MIME body); no header, no end line.
    virtual void SendBody(TWireMessage& m);

    // Captures lines up to one of the terminators (exact match); returns its
    // 1-based index. With "." as the first terminator, a leading ".." loses
    // one ".".
    int CaptureLines(CaptureDest dest, const TStrings& terminators);
    // Clears list, captures up to terminator, unfolds continuation lines and
    // turns "name: value" into "name=value".
    void CaptureHeaders(TStrings& list, const std::string& terminator);

    // True once the end line "." of the message being received has been read.
    bool MessageEnded() const { return messageEnded_; }

protected:
    // Reads the rest of the current message up to its end line.
    void SkipToMessageEnd();

    // Message-body reading: the end line "." always ends the message (also
    // inside parts and header blocks), and every line loses one leading "."
    // of a ".." (the server doubles a leading dot on every line).
    // Returns 0 when the end line was met.
    int CaptureBody(CaptureDest dest, const TStrings& terminators);
    void CaptureBodyHeaders(TStrings& list, const std::string& terminator);
    bool NextBodyLine(std::string_view& line);

    bool messageEnded_ = false;

private:
    int Capture(CaptureDest dest, const TStrings& terminators, bool messageBody);
    void Deliver(CaptureDest dest, std::string_view line, bool counted);
    void ReceiveParts(TWireMessage& m);

    // What is left of the current message's allowance of kept lines (see
    // TWireMessage::MaxTextBytes), and whether a line was dropped for it.
    size_t keepLeft_ = size_t(8) << 20;
    bool cut_ = false;
    int HandlePart(TWireMessage& m, const TStrings& h, std::string& d, std::string& outerD);
    int StoreAttachment(TWireMessage& m, const TStrings& h, const std::string& fileName, const std::string& d);
};

// Unfolds a captured header block in place (see CaptureHeaders). A first line
// that starts with a blank or tab has nothing to continue: it is kept as a
// line of its own.
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
