// The local time zone's offset from UTC, for net/date_time.h.
#include "net/date_time.h"

#include <mutex>

#include "net/net_exceptions.h"

namespace corvane::net {

TDateTime LocalUtcOffset() {
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1)) {
        throw ENetFailedToRetreiveTimeZoneInfo();
    }
    return LocalUtcOffset(now);
}

TDateTime LocalUtcOffset(std::time_t when) {
    // tm_gmtoff is the offset in force at that moment (daylight saving time
    // included, as tm_isdst says); a negative tm_isdst means the C library
    // does not know, which counts as a failure like localtime_r's own.
    // Page fetches run on several threads: one of them at a time reloads the
    // zone (the C library's own lock is invisible to the thread checker).
    static std::mutex zoneLock;
    const std::lock_guard<std::mutex> guard(zoneLock);
    tzset();
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr || local.tm_isdst < 0) {
        throw ENetFailedToRetreiveTimeZoneInfo();
    }
    // The bias in whole minutes, UTC minus local time.
    const std::int64_t bias = -(static_cast<std::int64_t>(local.tm_gmtoff) / 60);
    const std::int64_t magnitude = bias < 0 ? -bias : bias;
    const TDateTime span = SpanOfMinutes(magnitude);
    return bias > 0 ? -span : span;
}

}  // namespace corvane::net
