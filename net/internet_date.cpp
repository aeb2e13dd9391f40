// Header date parsing for net/internet_date.h, with the calendar arithmetic
// it needs.
#include "net/internet_date.h"

#include <array>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "net/text_tokens.h"

namespace corvane::net {

namespace {

// Blanks are every byte with a code up to 32 (controls and the space);
// bytes from 128 up are text.
void TrimLeftInPlace(std::string& text) {
    text.erase(0, text.size() - base::TrimLeftBlanks(text).size());
}

void TrimInPlace(std::string& text) {
    text = std::string(base::TrimBlanks(text));
}

std::int32_t DecimalOr(std::string_view text, std::int32_t fallback) {
    std::int32_t v = 0;
    return base::TryReadDecimalInt32(text, v) ? v : fallback;
}

bool IsLeapYear(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1 March of year 0 (proleptic Gregorian) to the given date.
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

// The date-time of midnight at the start of the given day; false for a date
// the calendar does not have (years 1 to 9999 only).
bool TryEncodeDate(std::int32_t year, std::int32_t month, std::int32_t day, TDateTime& value) {
    static constexpr std::array<int, 12> kDaysInMonth = {31, 28, 31, 30, 31, 30,
                                                         31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12) {
        return false;
    }
    const int days = kDaysInMonth[static_cast<std::size_t>(month - 1)] +
                     (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day < 1 || day > days) {
        return false;
    }
    value = static_cast<TDateTime>(DaysFromCivil(year, month, day) - DaysFromCivil(1899, 12, 30));
    return true;
}

bool TryEncodeTime(std::int32_t hour, std::int32_t minute, std::int32_t second, TDateTime& value) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return false;
    }
    value = static_cast<TDateTime>(hour * 3600 + minute * 60 + second) / 86400.0;
    return true;
}

}  // namespace

bool TryParseInternetDate(std::string& text, TDateTime& value) {
    value = 0;
    TrimInPlace(text);
    if (text.empty()) {
        return false;
    }
    if (DayNameIndex(std::string_view(text).substr(0, 3)) != 0) {
        TakeToken(text, " ");  // the weekday, with its comma
    }
    const std::int32_t day = DecimalOr(TakeToken(text, " "), 1);
    TrimLeftInPlace(text);
    const int month = MonthIndex(TakeToken(text, " "));
    TrimLeftInPlace(text);
    std::int32_t year = DecimalOr(TakeToken(text, " "), 1900);
    if (year < 80) {
        year += 2000;
    } else if (year < 100) {
        year += 1900;
    }
    TDateTime t = 0;
    if (!TryEncodeDate(year, month, day, t)) {
        return false;
    }
    TrimLeftInPlace(text);
    if (text.find(':') != std::string::npos) {
        std::string clock = TakeToken(text, " ");
        const std::int32_t hour = DecimalOr(TakeToken(clock, ":"), 0);
        const std::int32_t minute = DecimalOr(TakeToken(clock, ":"), 0);
        const std::int32_t second = DecimalOr(TakeToken(clock, " "), 0);
        TDateTime timeOfDay = 0;
        if (!TryEncodeTime(hour, minute, second, timeOfDay)) {
            return false;
        }
        t += timeOfDay;
        TrimLeftInPlace(text);
    }
    value = t;
    return true;
}

TDateTime ParseInternetDate(std::string& text) {
    TDateTime t = 0;
    TryParseInternetDate(text, t);
    return t;
}

TDateTime InternetDateToLocal(std::string_view text) {
    std::string rest(text);
    TDateTime t = 0;
    // A text that is no date stays the zero date-time instead of becoming a
    // time near it moved by the zones, so that "no date" remains visible.
    if (!TryParseInternetDate(rest, t)) {
        return 0;
    }
    const TDateTime off = rest.size() >= 5 ? ZoneOffset(rest) : 0;  // "GMT" is 0
    return t - off + LocalUtcOffset();
}

TDateTime ZoneOffset(std::string_view text) {
    const std::string_view zone = base::TrimBlanks(text).substr(0, 5);
    if (zone.size() != 5 || (zone[0] != '+' && zone[0] != '-')) {
        return 0;
    }
    for (std::size_t i = 1; i < 5; ++i) {
        if (!base::IsDigit(zone[i])) {
            return 0;
        }
    }
    const int hours = (zone[1] - '0') * 10 + (zone[2] - '0');
    const int minutes = (zone[3] - '0') * 10 + (zone[4] - '0');
    const TDateTime span = SpanOfMinutes(hours * 60 + minutes);
    return zone[0] == '-' ? -span : span;
}

int DayNameIndex(std::string_view text) {
    static constexpr std::array<std::string_view, 7> kDays = {"SUN", "MON", "TUE", "WED",
                                                              "THU", "FRI", "SAT"};
    for (std::size_t i = 0; i < kDays.size(); ++i) {
        if (SameTextLocale(text, kDays[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

int MonthIndex(std::string_view text) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (SameTextLocale(text, kMonths[i])) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

}  // namespace corvane::net
