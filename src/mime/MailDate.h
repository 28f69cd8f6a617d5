#pragma once
// "Date" header values. Dates are day counts from 30 December 1899 with the
// time of day as fraction; zone offsets are signed fractions of a day.
#include <string>

namespace pelko {

using TDateTime = double;

// Calendar date at midnight (time and zone ignored); 0 when unreadable.
TDateTime ParseMailDate(const std::string& text);

// "ddd, dd mmm yyyy hh:nn:ss " + ZoneText(false, LocalGMTOffset()).
std::string FormatMailDate(TDateTime value);

// Local offset from GMT (daylight time included), east positive.
TDateTime LocalGMTOffset();

// "GMT" when allowed and the offset is 0, otherwise "+hhmm" / "-hhmm".
std::string ZoneText(bool gmtAllowed, TDateTime offset);

// Full date and time of an RFC 5322 date, as seconds since the Unix epoch
// (UTC); false when it cannot be read. Used to show the real time of a message.
bool ParseMailDateTime(const std::string& text, long long& epochSeconds);

// Calendar helpers.
TDateTime EncodeDate(int year, int month, int day); // raises std::runtime_error when impossible
void DecodeDate(TDateTime value, int& year, int& month, int& day);

} // namespace pelko
