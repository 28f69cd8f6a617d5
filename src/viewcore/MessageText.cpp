#include "viewcore/MessageText.h"

#include "mime/Readable.h"
#include "mime/TextUtil.h"

#include <ctime>

namespace pelko {

namespace {

const char kRule[] = "__________________________";

std::string two(long long v) { return (v < 10 ? "0" : "") + std::to_string(v); }

// Offset from UTC of local time at that moment (daylight time included).
bool localOffset(long long epochSeconds, long long& offset)
{
    const auto t = static_cast<std::time_t>(epochSeconds);
    std::tm local{};
    if (!localtime_r(&t, &local))
        return false;
    offset = local.tm_gmtoff;
    return true;
}

} // namespace

std::string FormatDateTime(long long epochSeconds, long long utcOffsetSeconds)
{
    static const char* const kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // The C library does the calendar; the offset is applied beforehand.
    const auto t = static_cast<std::time_t>(epochSeconds + utcOffsetSeconds);
    std::tm c{};
    if (!gmtime_r(&t, &c))
        return {};
    return std::string(kDays[c.tm_wday]) + ", " + std::to_string(c.tm_mday) + " " + kMonths[c.tm_mon] + " " +
           std::to_string(c.tm_year + 1900LL) + " " + two(c.tm_hour) + ":" + two(c.tm_min) + ":" + two(c.tm_sec);
}

std::string DateLineText(const std::string& dateHeader)
{
    long long epoch = 0, offset = 0;
    if (ParseMailDateTime(dateHeader, epoch) && localOffset(epoch, offset))
        return FormatDateTime(epoch, offset);
    return DecodeHeaderWords(dateHeader);
}

TStrings MessageTextLines(const TWireMessage& m, bool headerOnly)
{
    TStrings lines;
    lines.push_back("From : " + DecodeHeaderWords(m.From()));
    lines.push_back("Subj : " + DecodeHeaderWords(m.Subject()));
    lines.push_back("Date : " + DateLineText(m.GetHeader("Date")));
    if (!headerOnly)
        lines.push_back("File : " + std::to_string(m.Attachments.size()));
    lines.push_back(kRule);
    lines.emplace_back();
    if (!headerOnly) {
        TStrings body = ReadableBody(m);
        lines.insert(lines.end(), body.begin(), body.end());
    }
    return lines;
}

std::string BuildMessageText(const TWireMessage& m, bool headerOnly)
{
    std::string out;
    for (const std::string& line : MessageTextLines(m, headerOnly)) {
        out += line;
        out += '\n';
    }
    return out;
}

std::string NoMoreMessagesText() { return "no more messages..."; }

std::string DeleteQuestionText(const std::string& subjectHeader)
{
    std::string subject = DecodeHeaderWords(subjectHeader); // one line, no control characters
    size_t chars = 0, at = 0;
    while (at < subject.size() && chars < kQuestionSubjectChars) {
        ++at;
        while (at < subject.size() && (static_cast<unsigned char>(subject[at]) & 0xC0) == 0x80)
            ++at; // a character's continuation bytes
        ++chars;
    }
    if (at < subject.size())
        subject = subject.substr(0, at) + "\xE2\x80\xA6";
    if (subject.find_first_not_of(' ') == std::string::npos)
        subject = "(no subject)";
    return "Delete this message from the server?\r\r" + subject;
}

std::string SafeAttachmentName(const std::string& fileName)
{
    // Decoding first: an encoded word may itself hold a path. Direction
    // overrides would show "exe.txt" for a name ending in ".exe": they go.
    std::string name = WithoutFormatCharacters(DecodeHeaderWords(fileName));
    const size_t cut = name.find_last_of("/\\");
    if (cut != std::string::npos)
        name.erase(0, cut + 1);
    std::string clean;
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 32 && c != 127)
            clean += c;
    // Blanks at the ends are invisible in a file manager.
    size_t b = 0, e = clean.size();
    while (b < e && clean[b] == ' ')
        ++b;
    while (e > b && clean[e - 1] == ' ')
        --e;
    clean = clean.substr(b, e - b);

    // A name longer than the file system allows could not be created: keep
    // a short extension and cut the rest at a character boundary.
    const size_t kMax = 255;
    if (clean.size() > kMax) {
        std::string ext;
        const size_t dot = clean.rfind('.');
        if (dot != std::string::npos && clean.size() - dot <= 16)
            ext = clean.substr(dot);
        size_t keep = kMax - ext.size();
        while (keep > 0 && (static_cast<unsigned char>(clean[keep]) & 0xC0) == 0x80)
            --keep;
        clean = clean.substr(0, keep) + ext;
    }
    if (clean.empty() || clean == "." || clean == "..")
        return "attachment";
    return clean;
}

} // namespace pelko
