#include "wire/MessageClient.h"

#include "mime/Coders.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <sys/stat.h>

namespace pelko {

int TWireMessageClient::CaptureLines(CaptureDest dest, const TStrings& terminators)
{
    const bool unstuff = !terminators.empty() && terminators[0] == ".";
    MessagePiece piece(bodyLines_); // one work period
    for (;;) {
        std::string_view line = ReadLineView();
        for (size_t i = 0; i < terminators.size(); ++i)
            if (line == terminators[i])
                return static_cast<int>(i + 1);
        if (unstuff && line.size() >= 2 && line[0] == '.' && line[1] == '.')
            line.remove_prefix(1);
        if (dest.lines) {
            dest.lines->emplace_back(line);
        } else if (dest.file) {
            WriteCapturedLine(dest.file, line);
        } else if (OnCaptureLine) {
            OnCaptureLine(this, std::string(line));
        }
    }
}

void TWireMessageClient::CaptureHeaders(TStrings& list, const std::string& terminator)
{
    list.clear();
    CaptureLines(&list, {terminator});
    UnfoldHeaders(list);
}

void TWireMessageClient::SkipToMessageEnd()
{
    std::string_view line;
    while (NextBodyLine(line)) {
    }
}

template <typename Step>
void TWireMessageClient::Parse(Step step)
{
    try {
        step();
    } catch (const EMessageFormat& e) {
        throw EWireException(e.what());
    }
}

void TWireMessageClient::ReceiveHeaders(TWireMessage& m, const std::string& terminator)
{
    Replies().BeginData();
    Parse([&] { parser_.ReadHeaders(m, terminator); });
}

void TWireMessageClient::ReceiveBody(TWireMessage& m)
{
    OnCaptureLine = nullptr;
    Parse([&] { parser_.ReadBody(m); });
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
