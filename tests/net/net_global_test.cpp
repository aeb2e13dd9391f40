#include "net/net_global.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>
#include <optional>
#include <string>

#include "net/net_exceptions.h"

namespace corvane::net {
namespace {

constexpr double kHour = 1.0 / 24;
constexpr double kMinute = 1.0 / 1440;
constexpr double kTolerance = 1e-9;

// Sets TZ for the life of the guard and puts the old setting back.
class TimeZone {
public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_) {
            setenv("TZ", old_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    TimeZone(const TimeZone&) = delete;
    TimeZone& operator=(const TimeZone&) = delete;

private:
    std::optional<std::string> old_;
};

TEST(NetGlobal, TakeTokenCutsAtTheFirstDelimiter) {
    std::string input = "HTTP/1.1 200 OK";
    EXPECT_EQ(TakeToken(input, " "), "HTTP/1.1");
    EXPECT_EQ(input, "200 OK");
    EXPECT_EQ(TakeToken(input, " ", false), "200");
    EXPECT_EQ(input, "200 OK");

    input = "a\r\nb\r\n";
    EXPECT_EQ(TakeToken(input, "\r\n"), "a");
    EXPECT_EQ(input, "b\r\n");

    input = "no-delimiter";
    EXPECT_EQ(TakeToken(input, "/"), "no-delimiter");
    EXPECT_EQ(input, "");
    input = "abc";
    EXPECT_EQ(TakeToken(input, ""), "abc");
    EXPECT_EQ(input, "");
}

TEST(NetGlobal, LastPosSearchesBackwardsIgnoringCase) {
    EXPECT_EQ(LastPos("/", "a/b/c"), 4);
    EXPECT_EQ(LastPos("/", "abc"), 0);
    EXPECT_EQ(LastPos("/", ""), 0);
    EXPECT_EQ(LastPos("/", "a/b/c", 3), 2);
    EXPECT_EQ(LastPos("/", "a/b/c", 99), 4);
    EXPECT_EQ(LastPos("/", "/bc", 0), 0);
    EXPECT_EQ(LastPos("AB", "xabyab"), 5);
    EXPECT_EQ(LastPos("AB", "xabyab", 5), 5);
    EXPECT_EQ(LastPos("AB", "xabyab", 4), 2);
    EXPECT_EQ(LastPos("abcd", "abc"), 0);
    EXPECT_EQ(LastPos("", "abc"), 0);
}

TEST(NetGlobal, SameTextFoldsAsciiOnly) {
    EXPECT_TRUE(SameTextLocale("Content-Type", "CONTENT-TYPE"));
    EXPECT_TRUE(SameTextLocale("", ""));
    EXPECT_FALSE(SameTextLocale("abc", "abcd"));
    EXPECT_FALSE(SameTextLocale("[", "{"));  // not letters, though 32 apart
    EXPECT_FALSE(SameTextLocale("\xC4", "\xE4"));
    EXPECT_TRUE(SameTextLocale("\xC4x", "\xC4X"));
}

TEST(NetGlobal, WrapInsertsBreaksAfterBreakChars) {
    EXPECT_EQ(WrapAtBreaks("aaa bbb ccc", "\n", " ", 5), "aaa \nbbb \nccc");
    EXPECT_EQ(WrapAtBreaks("aaa bbb ccc", "\n", " ", 80), "aaa bbb ccc");
    EXPECT_EQ(WrapAtBreaks("aaaaaaaaaaaa", "\n", " ", 5), "aaaaaaaaaaaa");
    EXPECT_EQ(WrapAtBreaks("", "\n", " ", 5), "");
    // Blanks after a break are passed over by the scan but kept.
    EXPECT_EQ(WrapAtBreaks("aaa    bbb", "|", " ", 5), "aaa  |  bbb");
    // Quoted blanks are no break points.
    EXPECT_EQ(WrapAtBreaks("\"a b c d\" e f", "|", " ", 3), "\"a b c d\" |e f");
    // A break already in the text (after its first byte, in any case)
    // starts a new count.
    EXPECT_EQ(WrapAtBreaks("aaaaxybb cc dd", "xY", " ", 8), "aaaaxybb cc dd");
    EXPECT_EQ(WrapAtBreaks("aaaa-ybb cc dd", "xY", " ", 8), "aaaa-ybb xYcc dd");
}

TEST(NetGlobal, WrapIsOnePassOverLongText) {
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text += "word ";
    }
    const std::string wrapped = WrapAtBreaks(text, "\r\n ", "\t ", 78);
    ASSERT_GT(wrapped.size(), text.size());
    EXPECT_EQ((wrapped.size() - text.size()) % 3, 0u);
    EXPECT_EQ(WrapAtBreaks(std::string(1000000, '"'), "\r\n ", "\t ", 78).size(), 1000000u);
}

TEST(NetGlobal, DayAndMonthNames) {
    EXPECT_EQ(DayNameIndex("sun"), 1);
    EXPECT_EQ(DayNameIndex("Sat"), 7);
    EXPECT_EQ(DayNameIndex("Sunday"), 0);
    EXPECT_EQ(DayNameIndex(""), 0);
    EXPECT_EQ(MonthIndex("jan"), 1);
    EXPECT_EQ(MonthIndex("DEC"), 12);
    EXPECT_EQ(MonthIndex("Sept"), 0);
}

TEST(NetGlobal, ZoneOffsets) {
    EXPECT_NEAR(ZoneOffset("+0200"), 2 * kHour, kTolerance);
    EXPECT_NEAR(ZoneOffset("  -0530 "), -(5 * kHour + 30 * kMinute), kTolerance);
    EXPECT_NEAR(ZoneOffset("+0100 (CET)"), kHour, kTolerance);
    EXPECT_EQ(ZoneOffset("GMT"), 0);
    EXPECT_EQ(ZoneOffset("+02"), 0);
    EXPECT_EQ(ZoneOffset("+02x0"), 0);
    EXPECT_EQ(ZoneOffset("+-100"), 0);
}

TEST(NetGlobal, ParseLeavesTheZoneOrTheFailurePoint) {
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

TEST(NetGlobal, InternetDatesInUtc) {
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
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 1994 08:49:37 +0200"), nov6 - 2 * kHour, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("Sun, 06 Nov 1994 08:49:37 -0130"), nov6 + 90 * kMinute, kTolerance);

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

TEST(NetGlobal, InternetDatesMoveToLocalTime) {
    const TimeZone zone("XYZ-3");
    EXPECT_NEAR(InternetDateToLocal("06 Nov 1994 08:00:00 GMT"), 34644 + 11 * kHour, kTolerance);
    EXPECT_NEAR(InternetDateToLocal("06 Nov 1994 08:00:00 +0100"), 34644 + 10 * kHour, kTolerance);
    EXPECT_EQ(InternetDateToLocal("not a date"), 0);
}

TEST(NetGlobal, LocalUtcOffsetFollowsTheZoneInForce) {
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

TEST(NetGlobal, LocalUtcOffsetFailureRaises) {
    try {
        LocalUtcOffset(std::numeric_limits<std::time_t>::max());
        FAIL() << "no exception";
    } catch (const ENetFailedToRetreiveTimeZoneInfo& e) {
        EXPECT_STREQ(e.what(), "Failed attempting to retrieve time zone information.");
    }
}

}  // namespace
}  // namespace corvane::net
