#include "viewer/core/MessageText.h"

#include "wire/Readable.h"

#include <ctime>

namespace pelko {

namespace {

const char kRule[] = "__________________________";

long long floorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void civilFromDays(long long z, long long& y, int& m, int& d)
{
    z += 719468;
    const long long era = floorDiv(z, 146097);
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

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
    static const char* const kDays[7] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"}; // day 0 was a Thursday
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long long t = epochSeconds + utcOffsetSeconds;
    const long long days = floorDiv(t, 86400);
    const long long secs = t - days * 86400;
    long long y;
    int m, d;
    civilFromDays(days, y, m, d);
    const int wd = static_cast<int>(((days % 7) + 7) % 7);
    return std::string(kDays[wd]) + ", " + std::to_string(d) + " " + kMonths[m - 1] + " " + std::to_string(y) + " " +
           two(secs / 3600) + ":" + two(secs / 60 % 60) + ":" + two(secs % 60);
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

std::string SafeAttachmentName(const std::string& fileName)
{
    // Decoding first: an encoded word may itself hold a path.
    std::string name = DecodeHeaderWords(fileName);
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
