#include "wire/MessageClient.h"

#include "wire/Coders.h"
#include "wire/Readable.h"
#include "wire/TempFiles.h"
#include "wire/TextUtil.h"
#include "wire/WireErrors.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
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

int TWireMessageClient::CaptureLines(CaptureDest dest, const TStrings& terminators)
{
    return Capture(dest, terminators, false);
}

int TWireMessageClient::CaptureBody(CaptureDest dest, const TStrings& terminators)
{
    if (messageEnded_)
        return 0;
    return Capture(dest, terminators, true);
}

void TWireMessageClient::Deliver(CaptureDest dest, std::string_view line, bool counted)
{
    if (dest.lines) {
        if (counted) {
            // Once one line is dropped, every later one is too: the text keeps no gaps.
            const size_t cost = line.size() + sizeof(std::string);
            if (cut_ || cost > keepLeft_) {
                cut_ = true;
                return;
            }
            keepLeft_ -= cost;
        }
        dest.lines->emplace_back(line);
    } else if (dest.file) {
        if (std::fwrite(line.data(), 1, line.size(), dest.file) != line.size() ||
            std::fwrite("\r\n", 1, 2, dest.file) != 2)
            throw std::runtime_error(std::string("Cannot write a temporary file: ") + std::strerror(errno));
    } else if (OnCaptureLine) {
        OnCaptureLine(this, std::string(line));
    }
}

int TWireMessageClient::Capture(CaptureDest dest, const TStrings& terminators, bool messageBody)
{
    const bool unstuff = messageBody || (!terminators.empty() && terminators[0] == ".");
    BeginWork(-1);
    struct WorkEnder {
        TWireSocket* s;
        ~WorkEnder() noexcept(false)
        {
            if (std::uncaught_exceptions() == 0)
                s->EndWork();
            else
                try {
                    s->EndWork();
                } catch (...) {
                }
        }
    } ender{this};
    for (;;) {
        std::string_view line = ReadLineView();
        if (messageBody && line == ".") {
            messageEnded_ = true;
            return 0;
        }
        if (!messageBody) {
            for (size_t i = 0; i < terminators.size(); ++i)
                if (line == terminators[i])
                    return static_cast<int>(i + 1);
        }
        if (unstuff && line.size() >= 2 && line[0] == '.' && line[1] == '.')
            line.remove_prefix(1);
        if (messageBody) {
            for (size_t i = 0; i < terminators.size(); ++i)
                if (line == terminators[i])
                    return static_cast<int>(i + 1);
        }
        Deliver(dest, line, messageBody);
    }
}

void TWireMessageClient::CaptureHeaders(TStrings& list, const std::string& terminator)
{
    list.clear();
    CaptureLines(&list, {terminator});
    UnfoldHeaders(list);
}

void TWireMessageClient::CaptureBodyHeaders(TStrings& list, const std::string& terminator)
{
    list.clear();
    CaptureBody(&list, {terminator});
    UnfoldHeaders(list);
}

bool TWireMessageClient::NextBodyLine(std::string_view& line)
{
    if (messageEnded_)
        return false;
    line = ReadLineView();
    if (line == ".") {
        messageEnded_ = true;
        return false;
    }
    if (line.size() >= 2 && line[0] == '.' && line[1] == '.')
        line.remove_prefix(1);
    return true;
}

void TWireMessageClient::SkipToMessageEnd()
{
    std::string_view line;
    while (NextBodyLine(line)) {
    }
}

void TWireMessageClient::ReceiveHeaders(TWireMessage& m, const std::string& terminator)
{
    messageEnded_ = false;
    m.Clear();
    keepLeft_ = m.MaxTextBytes;
    cut_ = false;
    CaptureBodyHeaders(m.Headers, terminator);
    m.TextCut = cut_;
    const std::string title = m.GetHeader("Title");
    if (!title.empty()) {
        m.SetSubject(title);
        m.SetHeader("Title", "");
    }
}

void TWireMessageClient::ReceiveBody(TWireMessage& m)
{
    ReceiveParts(m);
    if (cut_) {
        m.TextCut = true;
        m.Text.push_back(TextCutLine(m.MaxTextBytes));
    }
}

void TWireMessageClient::ReceiveParts(TWireMessage& m)
{
    OnCaptureLine = nullptr;
    const std::string ct = m.GetHeader("Content-Type");
    std::string rest = ct;
    const std::string major = SplitFirst(rest, "/");

    if (!EqualsNoCase(major, "multipart")) {
        m.MessageParts.emplace_back();
        TMessagePart& part = m.MessageParts.back();
        part.ContentType = ct;
        part.ContentTransfer = m.GetHeader("Content-Transfer-Encoding");
        CaptureBody(&part.Lines, {});
        m.Text = part.Lines;
        return;
    }

    std::string boundary;
    if (!ExtractBoundary(ct, boundary)) {
        SkipToMessageEnd(); // keeps the connection in step for the next command
        throw EWireException(kBoundaryErrorText);
    }
    std::string d = "--" + boundary;
    std::string outerD;

    std::string_view view;
    if (!NextBodyLine(view))
        return;
    std::string l(view);
    for (;;) {
        if (l == d) {
            TStrings h;
            CaptureBodyHeaders(h, "");
            if (messageEnded_)
                return;
            if (h.empty())
                continue; // l is still the delimiter: the next block is read as headers
            const int r = HandlePart(m, h, d, outerD);
            if (messageEnded_ || r == 0)
                return;
            if (r == 1) {
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
        if (!NextBodyLine(view))
            return;
        l.assign(view);
    }
}

int TWireMessageClient::HandlePart(TWireMessage& m, const TStrings& h, std::string& d, std::string& outerD)
{
    const std::string ct = TWireMessage::HeaderIn(h, "Content-Type");
    std::string params = ct;
    const std::string type = Trim(SplitFirst(params, ";"));
    // One nested multipart/alternative is entered; anything deeper is skipped
    // below as a part without a file name.
    if (outerD.empty() && EqualsNoCase(type, "multipart/alternative")) {
        std::string inner;
        if (!ExtractBoundary(params, inner)) {
            SkipToMessageEnd();
            throw EWireException(kBoundaryErrorText);
        }
        outerD = d;
        d = "--" + inner;
    }

    std::string rest = ct;
    const std::string major = Trim(SplitFirst(rest, "/"));
    if (EqualsNoCase(major, "text")) {
        m.MessageParts.emplace_back();
        TMessagePart& part = m.MessageParts.back();
        part.ContentType = ct;
        part.ContentTransfer = TWireMessage::HeaderIn(h, "Content-Transfer-Encoding");
        const int r = CaptureBody(&part.Lines, {d, d + "--"});
        m.Text.insert(m.Text.end(), part.Lines.begin(), part.Lines.end());
        return r;
    }

    const std::string disposition = TWireMessage::HeaderIn(h, "Content-Disposition");
    const std::string named = AttachmentFileName(disposition, ct);
    if (!named.empty() && m.ExtractAttachments)
        return StoreAttachment(m, h, SafeFileName(named), d);
    return CaptureBody(CaptureDest(), {d, d + "--"});
}

int TWireMessageClient::StoreAttachment(TWireMessage& m, const TStrings& h, const std::string& fileName,
                                        const std::string& d)
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

    int r = 0;
    if (EqualsNoCase(TWireMessage::HeaderIn(h, "Content-Transfer-Encoding"), "base64")) {
        const std::string closing = d + "--";
        Base64StreamDecoder decoder;
        constexpr size_t kDecodedBlock = size_t(64) << 10;
        std::string bytes;
        bytes.reserve(kDecodedBlock + 4096);
        bool notFound = false;
        BeginWork(-1);
        try {
            std::string_view line;
            for (;;) {
                if (!NextBodyLine(line)) {
                    r = 0;
                    break;
                }
                if (line.empty()) {
                    notFound = true;
                    break;
                }
                if (line == d) {
                    r = 1;
                    break;
                }
                if (line == closing) {
                    r = 2;
                    break;
                }
                // Decoded lines gather into blocks: one write per block.
                decoder.feed(line.data(), line.size(), bytes);
                if (bytes.size() >= kDecodedBlock) {
                    if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
                        throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
                    bytes.clear();
                }
            }
        } catch (...) {
            try {
                EndWork();
            } catch (...) {
            }
            throw;
        }
        EndWork();
        decoder.finish(bytes);
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
        if (notFound)
            r = CaptureBody(CaptureDest(), {d, closing});
    } else {
        r = CaptureBody(f, {d, d + "--"});
    }
    const bool failed = std::fflush(f) != 0 || std::ferror(f);
    std::fclose(f);
    f = nullptr;
    if (failed)
        throw std::runtime_error("Cannot write " + written + ": " + std::strerror(errno));
    return r;
}

void TWireMessageClient::SendBody(TWireMessage& m)
{
    static const std::string kBoundary = "=_NextPart_2rfksadvnqw3nerasdf";
    auto writeStuffed = [this](const std::string& line) {
        if (!line.empty() && line[0] == '.')
            WriteLine("." + line);
        else
            WriteLine(line);
    };
    if (m.Attachments.empty()) {
        for (const std::string& line : m.Text)
            writeStuffed(line);
        return;
    }
    WriteLine("This is a multi-part message in MIME format.");
    WriteLine("");
    WriteLine("--" + kBoundary);
    WriteLine("Content-Type: " + m.ContentType);
    WriteLine("Content-Transfer-Encoding: 7bit");
    WriteLine("");
    for (const std::string& line : m.Text)
        writeStuffed(line);
    const std::string eight(8, ' ');
    for (const TAttachment& a : m.Attachments) {
        WriteLine("");
        WriteLine("--" + kBoundary);
        WriteLine("Content-Type: application/octet-stream;");
        WriteLine(eight + "name=\"" + a.FileName + "\"");
        WriteLine("Content-Transfer-Encoding: base64");
        WriteLine("Content-Disposition: attachment;");
        WriteLine(eight + "filename=\"" + a.FileName + "\"");
        WriteLine("");
        struct stat st {};
        const int32_t size = ::stat(a.StoredPathName.c_str(), &st) == 0
                                 ? static_cast<int32_t>(std::min<long long>(st.st_size, INT32_MAX))
                                 : -1;
        BeginWork(size);
        int64_t done = 0;
        EncodeFile(a.StoredPathName, [this, &done](const std::string& line) {
            WriteLine(line);
            done += static_cast<int64_t>(line.size() / 4 * 3);
            if (!line.empty())
                DoWork(done);
        });
        EndWork();
    }
    WriteLine("--" + kBoundary + "--");
}

} // namespace pelko
