#pragma once
// A fetched mail message: header lines (name=value), body text lines, the
// text parts it was made of, and attachments stored in private temporary files.
#include "mime/MailDate.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pelko {

using TStrings = std::vector<std::string>;

struct TMessagePart {
    TStrings Lines;
    std::string ContentTransfer; // value of the part's Content-Transfer-Encoding (not applied)
    std::string ContentType;
};

// The line that ends the text of a message cut at maxBytes.
std::string TextCutLine(size_t maxBytes);

class TAttachment {
public:
    TStrings Headers;           // the part's own header lines, name=value
    std::string FileName;       // from Content-Disposition; never a path (last component only)
    std::string StoredPathName; // private temporary file with the decoded content
    // The content was decoded straight into a file of the caller's (see
    // TWireMessage::OpenAttachmentFile): StoredPathName names it, and it
    // stays when the message goes.
    bool Kept = false;

    // Copies the stored file to dest (one trailing "/" removed), overwriting.
    bool SaveToFile(const std::string& dest) const;
    // Copies the stored file into dir (ending in "/") as a new file named
    // name, or "stem-2.ext", "stem-3.ext", ... when that name is taken: no
    // file is ever replaced and no link followed. Returns the path written,
    // or "" (errno tells why) when nothing could be written.
    std::string SaveAsNewFile(const std::string& dir, const std::string& name) const;
};

// Creates dir + name (dir ending in "/") as a new file, or "stem-2.ext",
// "stem-3.ext", ... when that name is taken: no file is ever replaced and no
// link followed. Returns a descriptor open for writing and sets path, or -1
// (errno tells why).
int CreateNewFile(const std::string& dir, const std::string& name, std::string& path);

class TWireMessage {
public:
    TWireMessage();
    ~TWireMessage(); // deletes the attachments' temporary files
    TWireMessage(const TWireMessage&) = delete;
    TWireMessage& operator=(const TWireMessage&) = delete;

    // Header store: lookup by the text before the first "=", ignoring case;
    // setting "" removes the first matching line.
    TStrings Headers;
    std::string GetHeader(const std::string& name) const;
    // The same lookup over any list of name=value lines (a part's headers).
    static std::string HeaderIn(const TStrings& headers, const std::string& name);
    void SetHeader(const std::string& name, const std::string& value);

    std::string From() const { return GetHeader("From"); }
    std::string Organization() const { return GetHeader("Organization"); }
    std::string References() const { return GetHeader("References"); }
    std::string ReplyTo() const { return GetHeader("Reply-To"); }
    std::string Subject() const { return GetHeader("Subject"); }
    std::string MsgID() const { return GetHeader("Message-ID"); }
    void SetFrom(const std::string& v) { SetHeader("From", v); }
    void SetSubject(const std::string& v) { SetHeader("Subject", v); }

    TDateTime Date() const;        // ParseMailDate of the "Date" field
    void SetDate(TDateTime value); // FormatMailDate into the "Date" field

    // Address lists of "To" and "Cc" (a quoted display name may hold commas).
    TStrings Too() const;
    void SetToo(const TStrings& items);
    TStrings CCList() const;
    void SetCCList(const TStrings& items);
    TStrings Newsgroups() const;
    void SetNewsgroups(const TStrings& items);

    TStrings Text;
    TStrings BCCList;
    std::vector<TMessagePart> MessageParts;
    std::vector<TAttachment> Attachments;

    // What is kept of a message as lines (its header lines, its text, the
    // header lines of its attachments) stops at this many bytes, each line
    // counted with its bookkeeping; the rest is read and dropped, and Text
    // then ends with TextCutLine(MaxTextBytes). Attachments go to files and
    // do not count.
    size_t MaxTextBytes = size_t(8) << 20;
    bool TextCut = false; // the last message received was cut

    std::string ContentType = "text/plain";
    std::string DefaultDomain;
    bool ExtractAttachments = true;
    // For a caller that keeps the attachments it receives (pelko-check
    // --save-dir): opens the file the attachment (its FileName known) is
    // decoded into, returning a descriptor open for writing and setting
    // path, or -1. Unset, or at -1, it goes to a private temporary file.
    std::function<int(const TAttachment& a, std::string& path)> OpenAttachmentFile;
    bool UseNowForDate = true;
    int MsgNo = 0;

    void Clear(); // also deletes the attachments' temporary files
};

} // namespace pelko
