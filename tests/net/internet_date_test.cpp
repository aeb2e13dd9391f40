#include "net/internet_date.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/net/time_zone_guard.h"

namespace corvane::net {
namespace {

constexpr double kHour = 1.0 / 24;
constexpr double kMinute = 1.0 / 1440;
constexpr double kTolerance = 1e-9;

TEST(InternetDate, DayAndMonthNames) {
    EXPECT_EQ(DayNameIndex("sun"), 1);
    EXPECT_EQ(DayNameIndex("Sat"), 7);
    EXPECT_EQ(DayNameIndex("Sunday"), 0);
    EXPECT_EQ(DayNameIndex(""), 0);
    EXPECT_EQ(MonthIndex("jan"), 1);
    EXPECT_EQ(MonthIndex("DEC"), 12);
    EXPECT_EQ(MonthIndex("Sept"), 0);
}

TEST(InternetDate, ZoneOffsets) {
    EXPECT_NEAR(ZoneOffset("+0200"), 2 * kHour, kTolerance);
    EXPECT_NEAR(ZoneOffset("  -0530 "), -(5 * kHour + 30 * kMinute), kTolerance);
    EXPECT_NEAR(ZoneOffset("+0100 (CET)"), kHour, kTolerance);
    EXPECT_EQ(ZoneOffset("GMT"), 0);
    EXPECT_EQ(ZoneOffset("+02"), 0);
    EXPECT_EQ(ZoneOffset("+02x0"), 0);
    EXPECT_EQ(ZoneOffset("+-100"), 0);
}

TEST(InternetDate, ParseLeavesTheZoneOrTheFailurePoint) {
    const double nov6 = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
    std::string text = "  Sun, 06 Nov 1994 08:49:37 GMT ";
    EXPECT_NEAR(ParseInternetDate(text), nov6, kTolerance);
    EXPECT_EQ(text, "GMT");

    text = "06 Nov 1994 08:49 +0200";
    EXPECT_NEAR(ParseInternetDate(text), 34644 + (8 * 60 + 49) * kMinute, kTolerance);
    EXPECT_EQ(text, "+0200");

    text = "06 Nov 1994";
    EXPECT_EQ(ParseInternetDate(text), 34644);
    EXPECT_EQ(text, "");

    text = "31 Feb 2001 10:00:00 GMT";
    EXPECT_EQ(ParseInternetDate(text), 0);
    EXPECT_EQ(text, "10:00:00 GMT");

    // A real date that is 0 is told apart from a failure.
    double value = -1;
    text = "Sat, 30 Dec 1899 00:00:00 GMT";
    EXPECT_TRUE(TryParseInternetDate(text, value));
    EXPECT_EQ(value, 0);
    text = "   ";
    EXPECT_FALSE(TryParseInternetDate(text, value));
}

TEST(InternetDate, InternetDatesInUtc) {
    const TimeZone zone("UTC0");
    const double nov6 = 34644 + (8 * 3600 + 49 * 60 + 37) / 86400.0;
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 1994 08:49:37 GMT"), nov6, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("06 Nov 1994 08:49:37 GMT"), nov6, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 94 08:49:37 GMT"), nov6, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("sat, 05 nov 05 00:00:00 GMT"), 38661, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("Sat, 05 Nov 2005 00:00:00 GMT"), 38661, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("01 Jan 79 00:00:00 GMT"), 65381, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("01 Jan 80 00:00:00 GMT"), 29221, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("29 Feb 2000 00:00:00 GMT"), 36585, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("01 Jan 0001 00:00:00 GMT"), 36892, kTolerance);  // 2001
    EXPECT_NEAR(InternetDateToLocal("01 Jan 100 00:00:00 GMT"), -657434, kTolerance);

    // Numeric zones are taken back out.
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 1994 08:49:37 +0200"), nov6 - 2 * kHour,
                kTolerance);
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 1994 08:49:37 -0130"), nov6 + 90 * kMinute,
                kTolerance);

    // Only the first of the three HTTP forms converts; impossible dates and
    // times, and texts that are no date, give the zero date-time whatever
    // zone they name.
    EXPECT_EQ(InternetDateToLocal("Sunday, 06-Nov-94 08:49:37 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("Sun Nov  6 08:49:37 1994"), 0);
    EXPECT_EQ(InternetDateToLocal("29 Feb 1900 00:00:00 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("31 Apr 2001 00:00:00 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("06 Xyz 1994 08:49:37 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("06 Nov 1994 24:00:00 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("06 Nov 1994 08:60:00 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("06 Nov 1994 08:00:-1 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("06 Nov 10000 00:00:00 GMT"), 0);
    EXPECT_EQ(InternetDateToLocal("garbage +0200"), 0);
    EXPECT_EQ(InternetDateToLocal(""), 0);
}

TEST(InternetDate, InternetDatesMoveToLocalTime) {
    const TimeZone zone("XYZ-3");
    EXPECT_NEAR(InternetDateToLocal("06 Nov 1994 08:00:00 GMT"), 34644 + 11 * kHour, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("06 Nov 1994 08:00:00 +0100"), 34644 + 10 * kHour, kTolerance);
    EXPECT_EQ(InternetDateToLocal("not a date"), 0);
}

}  // namespace
}  // namespace corvane::net
