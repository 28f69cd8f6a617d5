#include "mime/MessageParser.h"

#include "mime/Coders.h"
#include "mime/Readable.h"
#include "mime/TempFiles.h"
#include "mime/TextUtil.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <memory>
#include <unistd.h>

namespace pelko {

namespace {

bool EqualsNoCase(const std::string& a, const char* b)
{
    const size_t n = std::strlen(b);
    return a.size() == n && StartsWithIgnoreCase(a, b);
}

std::string ReplaceTabs(std::string s)
{
    for (char& c : s)
        if (c == '\t')
            c = ' ';
    return s;
}

std::string NameValueLine(std::string line)
{
    const size_t p = line.find(": ");
    if (p != std::string::npos)
        line.replace(p, 2, "=");
    return line;
}

// Closes the attachment file however the part ends.
struct FileCloser {
    std::FILE*& f;
    ~FileCloser()
    {
        if (f)
            std::fclose(f);
    }
};

// A parameter in the extended form: name*=charset'language'value (percent
// encoded), or cut into pieces name*0=, name*1*=, ... (a "*" after the
// number marks an encoded piece; the charset comes with the first one). The
// value as UTF-8; false when the parameter has neither form.
bool extendedParameter(const std::string& header, const std::string& name, std::string& value)
{
    constexpr int kMaxPieces = 100; // far beyond any real file name
    std::string charset, bytes;
    auto encodedPiece = [&](std::string piece, bool first) {
        const size_t q1 = first ? piece.find('\'') : std::string::npos;
        const size_t q2 = q1 == std::string::npos ? q1 : piece.find('\'', q1 + 1);
        if (q2 != std::string::npos) {
            charset = Trim(piece.substr(0, q1));
            piece.erase(0, q2 + 1);
        }
        bytes += PercentDecoded(piece);
    };
    const std::string whole = HeaderParameter(header, name + "*");
    if (!whole.empty()) {
        encodedPiece(whole, true);
    } else {
        for (int k = 0; k < kMaxPieces; ++k) {
            const std::string piece = name + "*" + std::to_string(k);
            const std::string encoded = HeaderParameter(header, piece + "*");
            if (!encoded.empty()) {
                encodedPiece(encoded, k == 0);
                continue;
            }
            const std::string plain = HeaderParameter(header, piece);
            if (plain.empty())
                break;
            bytes += plain;
        }
    }
    if (bytes.empty())
        return false;
    value = charset.empty() ? bytes : ToUtf8(bytes, charset);
    return true;
}

} // namespace

std::string AttachmentFileName(const std::string& disposition, const std::string& contentType)
{
    std::string name;
    if (extendedParameter(disposition, "filename", name))
        return name;
    name = ExtractBetween(disposition, "filename=\"", "\"", true);
    if (name.empty())
        name = HeaderParameter(disposition, "filename"); // written without quotes
    if (name.empty() && !extendedParameter(contentType, "name", name))
        name = HeaderParameter(contentType, "name");
    return name;
}

void UnfoldHeaders(TStrings& list)
{
    TStrings out;
    out.reserve(list.size());
    for (std::string& line : list) {
        const bool continuation = !line.empty() && (line[0] == '\t' || line[0] == ' ');
        if (continuation && !out.empty()) {
            out.back() += ' ';
            out.back() += Trim(ReplaceTabs(line));
        } else if (continuation) {
            const std::string own = Trim(ReplaceTabs(line));
            if (!own.empty())
                out.push_back(NameValueLine(own));
        } else {
            out.push_back(NameValueLine(std::move(line)));
        }
    }
    list.swap(out);
}

bool ExtractBoundary(const std::string& contentType, std::string& boundary)
{
    static const std::string kParam = "boundary=";
    const std::string upper = UpperAscii(contentType);
    const size_t p = upper.find(UpperAscii(kParam));
    const std::string s = Trim(p == std::string::npos ? contentType : contentType.substr(p));
    if (!StartsWithIgnoreCase(s, kParam))
        return false;
    std::string v = s.substr(kParam.size());
    if (!v.empty() && v[0] == '"') {
        const size_t q = v.find('"', 1);
        v = q == std::string::npos ? v.substr(1) : v.substr(1, q - 1);
    } else {
        const size_t semi = v.find(';');
        if (semi != std::string::npos)
            v.erase(semi);
    }
    boundary = Trim(v);
    return true;
}

std::string SafeFileName(const std::string& name)
{
    const size_t cut = name.find_last_of("/\\");
    std::string base = cut == std::string::npos ? name : name.substr(cut + 1);
    for (char& c : base)
        if (c == '\0')
            c = '_';
    base = Trim(base);
    if (base.empty() || base == "." || base == "..")
        return "attachment";
    return base;
}

MessagePiece::~MessagePiece() noexcept(false)
{
    if (std::uncaught_exceptions() == 0) {
        lines_.PieceEnds();
        return;
    }
    try {
        lines_.PieceEnds();
    } catch (...) {
        // the exception already on its way is the one to report
    }
}

void WriteCapturedLine(std::FILE* f, std::string_view line)
{
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size() || std::fwrite("\r\n", 1, 2, f) != 2)
        throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
}

bool TMessageParser::Next(std::string_view& line)
{
    if (ended_)
        return false;
    if (!lines_.NextLine(line)) {
        ended_ = true;
        return false;
    }
    return true;
}

void TMessageParser::SkipToEnd()
{
    std::string_view line;
    while (Next(line)) {
    }
}

void TMessageParser::Deliver(const CaptureDest& dest, std::string_view line)
{
    if (dest.file)
        WriteCapturedLine(dest.file, line);
    if (dest.lines) {
        // Once one line is dropped, every later one is too: the text keeps no gaps.
        const size_t cost = line.size() + sizeof(std::string);
        if (cut_ || cost > keepLeft_) {
            cut_ = true;
            return;
        }
        keepLeft_ -= cost;
        dest.lines->emplace_back(line);
    }
}

int TMessageParser::Capture(const CaptureDest& dest, const TStrings& terminators)
{
    if (ended_)
        return 0;
    MessagePiece piece(lines_);
    std::string_view line;
    while (Next(line)) {
        for (size_t i = 0; i < terminators.size(); ++i)
            if (line == terminators[i])
                return static_cast<int>(i + 1);
        Deliver(dest, line);
    }
    return 0;
}

void TMessageParser::CaptureHeaders(TStrings& list, const std::string& terminator)
{
    list.clear();
    Capture(&list, {terminator});
    UnfoldHeaders(list);
}

void TMessageParser::ReadHeaders(TWireMessage& m, const std::string& terminator)
{
    ended_ = false;
    m.Clear();
    keepLeft_ = m.MaxTextBytes;
    cut_ = false;
    CaptureHeaders(m.Headers, terminator);
    m.TextCut = cut_;
    const std::string title = m.GetHeader("Title");
    if (!title.empty()) {
        m.SetSubject(title);
        m.SetHeader("Title", "");
    }
}

void TMessageParser::ReadBody(TWireMessage& m)
{
    ReadParts(m);
    if (cut_) {
        m.TextCut = true;
        m.Text.push_back(TextCutLine(m.MaxTextBytes));
    }
}

void TMessageParser::ReadParts(TWireMessage& m)
{
    const std::string ct = m.GetHeader("Content-Type");
    std::string rest = ct;
    const std::string major = SplitFirst(rest, "/");

    if (!EqualsNoCase(major, "multipart")) {
        m.MessageParts.emplace_back();
        TMessagePart& part = m.MessageParts.back();
        part.ContentType = ct;
        part.ContentTransfer = m.GetHeader("Content-Transfer-Encoding");
        Capture(&part.Lines, {});
        m.Text = part.Lines;
        return;
    }

    std::string boundary;
    if (!ExtractBoundary(ct, boundary)) {
        SkipToEnd(); // a connection stays in step for its next command
        throw EMessageFormat(kBoundaryErrorText);
    }
    std::string d = "--" + boundary;
    std::string outerD;

    std::string_view view;
    if (!Next(view))
        return;
    std::string l(view);
    for (;;) {
        if (l == d) {
            TStrings h;
            CaptureHeaders(h, "");
            if (ended_)
                return;
            if (h.empty())
                continue; // l is still the delimiter: the next block is read as headers
            const PartEnd r = HandlePart(m, h, d, outerD);
            if (ended_ || r == PartEnd::MessageEnd)
                return;
            if (r == PartEnd::Delimiter) {
                l = d; // d may now be the nested alternative's delimiter
                continue;
            }
            l.clear();
            continue;
        }
        if (!outerD.empty()) {
            d = outerD; // the nested alternative is over
            outerD.clear();
        }
        if (!Next(view))
            return;
        l.assign(view);
    }
}

TMessageParser::PartEnd TMessageParser::HandlePart(TWireMessage& m, const TStrings& h, std::string& d,
                                                   std::string& outerD)
{
    const std::string ct = TWireMessage::HeaderIn(h, "Content-Type");
    std::string params = ct;
    const std::string type = Trim(SplitFirst(params, ";"));
    // One nested multipart/alternative is entered; anything deeper is skipped
    // below as a part without a file name.
    if (outerD.empty() && EqualsNoCase(type, "multipart/alternative")) {
        std::string inner;
        if (!ExtractBoundary(params, inner)) {
            SkipToEnd();
            throw EMessageFormat(kBoundaryErrorText);
        }
        outerD = d;
        d = "--" + inner;
    }

    std::string rest = ct;
    const std::string major = Trim(SplitFirst(rest, "/"));
    const std::string disposition = TWireMessage::HeaderIn(h, "Content-Disposition");
    const std::string named = AttachmentFileName(disposition, ct);
    if (EqualsNoCase(major, "text")) {
        m.MessageParts.emplace_back();
        TMessagePart& part = m.MessageParts.back();
        part.ContentType = ct;
        part.ContentTransfer = TWireMessage::HeaderIn(h, "Content-Transfer-Encoding");
        // A text the sender attached as a named file stays in the text and
        // is a file to save as well.
        std::string kind = disposition;
        const bool attached = EqualsNoCase(Trim(SplitFirst(kind, ";")), "attachment") && !named.empty();
        const PartEnd r = attached && m.ExtractAttachments
                              ? StoreAttachment(m, h, SafeFileName(named), d, &part.Lines)
                              : static_cast<PartEnd>(Capture(&part.Lines, {d, d + "--"}));
        m.Text.insert(m.Text.end(), part.Lines.begin(), part.Lines.end());
        return r;
    }

    if (!named.empty() && m.ExtractAttachments)
        return StoreAttachment(m, h, SafeFileName(named), d);
    return static_cast<PartEnd>(Capture(CaptureDest(), {d, d + "--"}));
}

TMessageParser::PartEnd TMessageParser::StoreAttachment(TWireMessage& m, const TStrings& h,
                                                        const std::string& fileName, const std::string& d,
                                                        TStrings* text)
{
    m.Attachments.emplace_back();
    TAttachment& att = m.Attachments.back();
    att.Headers = h;
    att.FileName = fileName;
    std::FILE* f = nullptr;
    if (m.OpenAttachmentFile) {
        // Straight into the caller's file; where that cannot be made, a
        // temporary file as usual (the caller then copies and reports).
        std::string path;
        const int fd = m.OpenAttachmentFile(att, path);
        if (fd >= 0 && !(f = ::fdopen(fd, "wb"))) {
            ::close(fd);
            ::unlink(path.c_str());
        }
        if (f) {
            att.StoredPathName = path;
            att.Kept = true;
        }
    }
    if (!f) {
        att.StoredPathName = MakeTempFileName();
        f = att.StoredPathName.empty() ? nullptr : std::fopen(att.StoredPathName.c_str(), "wb");
    }
    if (!f)
        throw std::runtime_error("Cannot create a temporary file in " + TempPath() + " for \"" + fileName +
                                 "\": " + std::strerror(errno));
    const std::string written = att.Kept ? att.StoredPathName : "the temporary file for \"" + fileName + "\"";
    // Declared before the closer, so it outlives the stream.
    std::unique_ptr<char[]> fileBuffer(new char[1 << 16]);
    FileCloser closer{f};
    std::setvbuf(f, fileBuffer.get(), _IOFBF, 1 << 16);

    PartEnd r = PartEnd::MessageEnd;
    if (EqualsNoCase(TWireMessage::HeaderIn(h, "Content-Transfer-Encoding"), "base64")) {
        const std::string closing = d + "--";
        Base64StreamDecoder decoder;
        constexpr size_t kDecodedBlock = size_t(64) << 10;
        std::string bytes;
        bytes.reserve(kDecodedBlock + 4096);
        bool notFound = false;
        {
            MessagePiece piece(lines_);
            std::string_view line;
            for (;;) {
                if (!Next(line)) {
                    r = PartEnd::MessageEnd;
                    break;
                }
                if (text && line != d && line != closing)
                    Deliver(text, line); // the text keeps the lines as received
                if (line.empty()) {
                    notFound = true;
                    break;
                }
                // Only a delimiter starts with "--"; a Base64 line never does.
                if (line.size() >= 2 && line[0] == '-' && line[1] == '-') {
                    if (line == d) {
                        r = PartEnd::Delimiter;
                        break;
                    }
                    if (line == closing) {
                        r = PartEnd::Closing;
                        break;
                    }
                }
                // Decoded lines gather into blocks: one write per block.
                decoder.feed(line.data(), line.size(), bytes);
                if (bytes.size() >= kDecodedBlock) {
                    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
                        throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
                    bytes.clear();
                }
            }
        }
        decoder.finish(bytes);
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
        if (notFound)
            r = static_cast<PartEnd>(Capture(text ? CaptureDest(text) : CaptureDest(), {d, closing}));
    } else {
        CaptureDest both(f);
        both.lines = text;
        r = static_cast<PartEnd>(Capture(both, {d, d + "--"}));
    }
    const bool failed = std::fflush(f) != 0 || std::ferror(f);
    std::fclose(f);
    f = nullptr;
    if (failed)
        throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
    return r;
}

} // namespace pelko
