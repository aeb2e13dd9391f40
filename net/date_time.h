// Date-times of the network code and the local time zone. A date-time is a
// count of days with the time of day as the fraction: 0 is midnight at the
// start of 30 December 1899, and a time span (an offset) is a fraction of a
// day. Reads the process's time zone (TZ) through the C library and nothing
// else.
#pragma once

#include <cstdint>
#include <ctime>

namespace corvane::net {

using TDateTime = double;

// A span of whole minutes as a date-time offset.
constexpr TDateTime SpanOfMinutes(std::int64_t minutes) {
    return static_cast<TDateTime>(minutes) / 1440.0;
}

// Local time minus UTC at the current moment, as a span; daylight saving time
// counts when it is in force. Raises ENetFailedToRetreiveTimeZoneInfo when
// the C library cannot say.
TDateTime LocalUtcOffset();

// The same for the moment `when`. Reads TZ afresh (tzset) on every call.
TDateTime LocalUtcOffset(std::time_t when);

}  // namespace corvane::net
