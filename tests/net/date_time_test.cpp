#include "net/date_time.h"

#include <gtest/gtest.h>

#include <ctime>
#include <limits>

#include "net/net_exceptions.h"
#include "tests/net/time_zone_guard.h"

namespace corvane::net {
namespace {

constexpr double kHour = 1.0 / 24;
constexpr double kMinute = 1.0 / 1440;
constexpr double kTolerance = 1e-9;

TEST(LocalTimeZone, LocalUtcOffsetFollowsTheZoneInForce) {
    const std::time_t winter = 1705320000;  // 2024-01-15 12:00 UTC
    const std::time_t summer = 1721044800;  // 2024-07-15 12:00 UTC
    {
        const TimeZone zone("UTC0");
        EXPECT_EQ(LocalUtcOffset(winter), 0);
        EXPECT_EQ(LocalUtcOffset(), 0);
    }
    {
        const TimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_NEAR(LocalUtcOffset(winter), kHour, kTolerance);
        EXPECT_NEAR(LocalUtcOffset(summer), 2 * kHour, kTolerance);
    }
    {
        const TimeZone zone("EST5EDT,M3.2.0,M11.1.0");
        EXPECT_NEAR(LocalUtcOffset(winter), -5 * kHour, kTolerance);
        EXPECT_NEAR(LocalUtcOffset(summer), -4 * kHour, kTolerance);
    }
    {
        const TimeZone zone("<+0530>-5:30");
        EXPECT_NEAR(LocalUtcOffset(winter), 5 * kHour + 30 * kMinute, kTolerance);
    }
    {
        const TimeZone zone("NST3:30");
        EXPECT_NEAR(LocalUtcOffset(summer), -(3 * kHour + 30 * kMinute), kTolerance);
    }
}

TEST(LocalTimeZone, LocalUtcOffsetFailureRaises) {
    try {
        LocalUtcOffset(std::numeric_limits<std::time_t>::max());
        FAIL() << "no exception";
    } catch (const ENetFailedToRetreiveTimeZoneInfo& e) {
        EXPECT_STREQ(e.what(), "Failed attempting to retrieve time zone information.");
    }
}

}  // namespace
}  // namespace corvane::net
