// Small text and date operations shared by the URI split, the header lists
// and the HTTP exchange.
//
// Texts are byte strings; positions are 1-based, 0 meaning "not found".
// Date-times are counts of days with the time of day as the fraction: 0 is
// midnight at the start of 30 December 1899, and a time span (an offset) is
// a fraction of a day.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace corvane::net {

using TDateTime = double;

// True when `c` opens a double-byte character of the system code page. The
// code page of this platform has no double-byte characters, so this is
// always false; the scans that must step over such characters still ask it,
// so that they stay correct should that ever change.
bool IsLeadByte(char c);

// Cuts `input` at the first occurrence of `delimiter` and returns the text
// before it. With `remove`, `input` loses that text and the delimiter. When
// the delimiter does not occur (an empty delimiter occurs nowhere), the whole
// input is returned and, with `remove`, `input` becomes empty.
std::string TakeToken(std::string& input, std::string_view delimiter, bool remove = true);

// Position of the last occurrence of `pattern` in `text` that starts at or
// before `start` (-1: anywhere), compared with SameTextLocale; 0 when there
// is none. An empty pattern occurs nowhere.
std::int64_t LastPos(std::string_view pattern, std::string_view text, std::int64_t start = -1);

// Equality of two texts ignoring case. Only ASCII letters are folded; every
// other byte must match exactly. Header names and URI parts are ASCII by
// their nature, and a comparison that does not depend on the process locale
// (which a GUI toolkit changes at start-up, and under which e.g. a Turkish
// "I" does not fold to "i") matches names the same way in every front end.
bool SameTextLocale(std::string_view a, std::string_view b);

// One pass over `line` that copies it and inserts `breakText` where a line
// would grow past `maxCol` columns. Breaks go after one of `breakChars`, never
// inside a double-quoted stretch; an occurrence of `breakText` already in the
// line (ignoring case) starts a new line count. Nothing is removed: the
// result is `line` with zero or more copies of `breakText` inserted.
std::string WrapAtBreaks(std::string_view line, std::string_view breakText,
                         std::string_view breakChars, std::int32_t maxCol);

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

// Local time minus UTC at the current moment, as a span; daylight saving time
// counts when it is in force. Raises ENetFailedToRetreiveTimeZoneInfo when
// the C library cannot say.
TDateTime LocalUtcOffset();

// The same for the moment `when`. Reads TZ afresh (tzset) on every call.
TDateTime LocalUtcOffset(std::time_t when);

// 1 to 7 for "SUN" to "SAT", 1 to 12 for "JAN" to "DEC", compared with the
// whole text after upper-casing; 0 for anything else.
int DayNameIndex(std::string_view text);
int MonthIndex(std::string_view text);

}  // namespace corvane::net
