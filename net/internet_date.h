// Header dates: the date form of HTTP headers ("Sun, 06 Nov 1994 08:49:37
// GMT"), read into a date-time and moved into local time, with the numeric
// zones and the English day and month names they use. Pure text parsing,
// except that the move into local time reads the local time zone
// (net/date_time.h).
#pragma once

#include <string>
#include <string_view>

#include "net/date_time.h"

namespace corvane::net {

// An HTTP header date ("Sun, 06 Nov 1994 08:49:37 GMT", weekday optional,
// two- or four-digit year, "GMT" or a numeric zone such as "+0200") in local
// time. A text that is not such a date gives 0. Raises
// ENetFailedToRetreiveTimeZoneInfo when the local time zone cannot be read.
TDateTime InternetDateToLocal(std::string_view text);

// The date and time of day at the start of `text`, as written (no zone
// applied). On return `text` holds what followed them, normally the zone.
// Any failure gives 0 and leaves in `text` what was left at that point.
TDateTime ParseInternetDate(std::string& text);

// Like ParseInternetDate, but tells a failure apart from a date that happens
// to be 0: returns false on failure (and `value` is 0).
bool TryParseInternetDate(std::string& text, TDateTime& value);

// The span of a numeric zone "+hhmm" or "-hhmm" (surrounding blanks ignored);
// 0 for anything else.
TDateTime ZoneOffset(std::string_view text);

// 1 to 7 for "SUN" to "SAT", 1 to 12 for "JAN" to "DEC", compared with the
// whole text after upper-casing; 0 for anything else.
int DayNameIndex(std::string_view text);
int MonthIndex(std::string_view text);

}  // namespace corvane::net
