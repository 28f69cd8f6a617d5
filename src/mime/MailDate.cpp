#include "mime/MailDate.h"

#include "mime/TextUtil.h"

#include <cmath>
#include <cstdint>
#include <ctime>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelko {

namespace {

const char* const kMonthNames[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kDayNames[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
const std::vector<std::string> kMonthTable(std::begin(kMonthNames), std::end(kMonthNames));
const std::vector<std::string> kDayTable(std::begin(kDayNames), std::end(kDayNames));
const char* const kShortMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

constexpr long long kMsPerDay = 86400000LL;

bool isLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long daysFromCivil(long long y, int m, int d)
{
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d)
{
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30, the day numbered 0, counted from 1970-01-01.
const long long kDayZero = daysFromCivil(1899, 12, 30);

// Integer in the runtime's usual text form: leading blanks, optional sign,
// decimal digits, or "$"/"0x" hexadecimal. False for anything else.
bool readInt(const std::string& text, long long& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= text.size())
        return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * base + digit;
        if (v > 0x7FFFFFFFLL)
            return false;
    }
    value = negative ? -v : v;
    return true;
}

// 1-based copy that, like the runtime's, clips at the end of the text.
std::string copy(const std::string& s, size_t pos1, size_t count)
{
    if (pos1 < 1 || pos1 > s.size())
        return std::string();
    return s.substr(pos1 - 1, count);
}

char charAt(const std::string& s, size_t pos1) { return pos1 >= 1 && pos1 <= s.size() ? s[pos1 - 1] : '\0'; }

} // namespace

TDateTime EncodeDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        throw std::runtime_error("Invalid argument to date encode");
    return static_cast<TDateTime>(daysFromCivil(year, month, day) - kDayZero);
}

void DecodeDate(TDateTime value, int& year, int& month, int& day)
{
    civilFromDays(static_cast<long long>(std::trunc(value)) + kDayZero, year, month, day);
}

TDateTime ParseMailDate(const std::string& text)
{
    std::string t = Trim(text);
    if (t.empty())
        return 0;
    try {
        if (t.size() >= 3 && IndexOfText(UpperAscii(t.substr(0, 3)), kDayTable) >= 0)
            t.erase(0, std::min<size_t>(5, t.size()));

        long long day = 1;
        size_t monthPos;
        const char second = charAt(t, 2);
        if (second >= '0' && second <= '9') {
            if (!readInt(copy(t, 1, 2), day))
                day = 1;
            monthPos = 4;
        } else {
            if (!readInt(copy(t, 1, 1), day))
                day = 1;
            monthPos = 3;
        }

        const int idx =
            IndexOfText(UpperAscii(copy(t, monthPos, 3)), kMonthTable);
        const int month = idx >= 0 ? idx + 1 : 1;

        long long year;
        const std::string yearText = (t.size() < monthPos + 6 || charAt(t, monthPos + 6) == ' ')
                                         ? copy(t, monthPos + 4, 2)
                                         : copy(t, monthPos + 4, 4);
        if (!readInt(yearText, year))
            year = 1900;
        if (year < 80)
            year += 2000;
        else if (year < 100)
            year += 1900;

        // Checked here rather than through the exception: cheaper, same result.
        if (day < 1 || year < 1 || year > 9999 || day > daysInMonth(static_cast<int>(year), month))
            return 0;
        return EncodeDate(static_cast<int>(year), month, static_cast<int>(day));
    } catch (const std::exception&) {
        return 0;
    }
}

TDateTime LocalGMTOffset()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || !localtime_r(&now, &local))
        throw std::runtime_error("Failed attempting to retrieve time zone information.");
    if (local.tm_isdst < 0)
        throw std::runtime_error("Time Zone ID Unknown.");
    const long minutes = local.tm_gmtoff / 60;
    const long a = minutes < 0 ? -minutes : minutes;
    const TDateTime fraction = static_cast<double>((a / 60) * 60 + a % 60) / 1440.0;
    return minutes < 0 ? -fraction : fraction;
}

std::string ZoneText(bool gmtAllowed, TDateTime offset)
{
    if (gmtAllowed && offset == 0)
        return "GMT";
    const long long ms = std::llround(std::fabs(offset) * kMsPerDay);
    const long long minutes = ms / 60000;
    const long long h = minutes / 60, m = minutes % 60;
    std::string out = offset >= 0 ? "+" : "-";
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    out += two(h) + two(m);
    return out;
}

std::string FormatMailDate(TDateTime value)
{
    const long long days = static_cast<long long>(std::trunc(value));
    int y, mo, d;
    DecodeDate(value, y, mo, d);
    long long ms = std::llround(std::fabs(value - static_cast<double>(days)) * kMsPerDay);
    if (ms >= kMsPerDay)
        ms = kMsPerDay - 1;
    const long long secs = ms / 1000;
    const int weekday = static_cast<int>(((days % 7) + 7 + 6) % 7); // day 0 was a Saturday
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    std::string year = std::to_string(y);
    while (year.size() < 4)
        year.insert(0, "0");
    return std::string(kShortDays[weekday]) + ", " + two(d) + " " + kShortMonths[mo - 1] + " " + year + " " +
           two(secs / 3600) + ":" + two(secs / 60 % 60) + ":" + two(secs % 60) + " " +
           ZoneText(false, LocalGMTOffset());
}

// ---- Full RFC 5322 date-time -------------------------------------------------

namespace {

struct Cursor {
    const std::string& s;
    size_t i = 0;

    // Skips blanks, line breaks and (nested) comments.
    void skipSpace()
    {
        for (;;) {
            while (i < s.size() && static_cast<unsigned char>(s[i]) <= 32)
                ++i;
            if (i < s.size() && s[i] == '(') {
                int depth = 0;
                while (i < s.size()) {
                    const char c = s[i++];
                    if (c == '\\' && i < s.size())
                        ++i;
                    else if (c == '(')
                        ++depth;
                    else if (c == ')' && --depth == 0)
                        break;
                }
                continue;
            }
            return;
        }
    }
    bool digits(int minCount, int maxCount, int& value)
    {
        int n = 0;
        value = 0;
        while (i < s.size() && n < maxCount && s[i] >= '0' && s[i] <= '9') {
            value = value * 10 + (s[i] - '0');
            ++i;
            ++n;
        }
        return n >= minCount && !(i < s.size() && s[i] >= '0' && s[i] <= '9');
    }
    std::string word()
    {
        const size_t b = i;
        while (i < s.size() && ((s[i] >= 'A' && s[i] <= 'Z') || (s[i] >= 'a' && s[i] <= 'z')))
            ++i;
        return s.substr(b, i - b);
    }
    bool eat(char c)
    {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
};

} // namespace

bool ParseMailDateTime(const std::string& text, long long& epochSeconds)
{
    Cursor c{text};
    c.skipSpace();
    const size_t save = c.i;
    const std::string dayName = UpperAscii(c.word());
    if (!dayName.empty()) {
        if (dayName.size() < 3 ||
            IndexOfText(dayName.substr(0, 3), kDayTable) < 0)
            return false;
        c.skipSpace();
        c.eat(',');
    } else {
        c.i = save;
    }
    c.skipSpace();
    int day, year, hour, minute, second = 0;
    if (!c.digits(1, 2, day))
        return false;
    c.skipSpace();
    const std::string monthWord = UpperAscii(c.word());
    const int month =
        monthWord.size() < 3 ? -1
                             : IndexOfText(monthWord.substr(0, 3), kMonthTable) + 1;
    if (month < 1)
        return false;
    c.skipSpace();
    const size_t yearStart = c.i;
    if (!c.digits(2, 4, year))
        return false;
    const size_t yearDigits = c.i - yearStart;
    if (yearDigits == 2)
        year += year < 50 ? 2000 : 1900;
    else if (yearDigits == 3)
        year += 1900;
    c.skipSpace();
    if (!c.digits(1, 2, hour) || !c.eat(':') || !c.digits(2, 2, minute))
        return false;
    if (c.eat(':') && !c.digits(2, 2, second))
        return false;
    if (day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return false;
    if (second == 60) // a leap second shows as the last second of the minute
        second = 59;

    long long offsetMinutes = 0;
    c.skipSpace();
    if (c.i < text.size() && (text[c.i] == '+' || text[c.i] == '-')) {
        const bool negative = text[c.i] == '-';
        ++c.i;
        int hhmm;
        if (!c.digits(4, 4, hhmm) || hhmm % 100 > 59)
            return false;
        offsetMinutes = (hhmm / 100) * 60 + hhmm % 100;
        if (negative)
            offsetMinutes = -offsetMinutes;
    } else {
        const std::string zone = UpperAscii(c.word());
        static const struct {
            const char* name;
            int hours;
        } kZones[] = {{"GMT", 0},  {"UT", 0},   {"UTC", 0},  {"Z", 0},   {"EST", -5}, {"EDT", -4},
                      {"CST", -6}, {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
        for (const auto& z : kZones)
            if (zone == z.name)
                offsetMinutes = z.hours * 60;
        // Other zone names carry no reliable offset: they count as UTC.
    }

    const long long days = daysFromCivil(year, month, day);
    epochSeconds = days * 86400LL + hour * 3600LL + minute * 60LL + second - offsetMinutes * 60LL;
    return true;
}

} // namespace pelko
