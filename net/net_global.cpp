#include "net/net_global.h"

#include <array>
#include <limits>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "net/net_exceptions.h"

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

TDateTime SpanOfMinutes(std::int64_t minutes) {
    return static_cast<TDateTime>(minutes) / 1440.0;
}

}  // namespace

bool IsLeadByte(char /*c*/) {
    return false;
}

std::string TakeToken(std::string& input, std::string_view delimiter, bool remove) {
    // No double-byte characters in this code page (see IsLeadByte), so the
    // plain byte search respects them.
    const std::size_t p = delimiter.empty() ? std::string::npos : input.find(delimiter);
    std::string result;
    if (p == std::string::npos) {
        result = input;
        if (remove) {
            input.clear();
        }
    } else {
        result = input.substr(0, p);
        if (remove) {
            input.erase(0, p + delimiter.size());
        }
    }
    return result;
}

std::int64_t LastPos(std::string_view pattern, std::string_view text, std::int64_t start) {
    const auto length = static_cast<std::int64_t>(text.size());
    const auto patternLength = static_cast<std::int64_t>(pattern.size());
    if (patternLength == 0) {
        return 0;
    }
    std::int64_t s = start == -1 ? length : start;
    if (s > length - patternLength + 1) {
        s = length - patternLength + 1;
    }
    for (std::int64_t i = s; i >= 1; --i) {
        if (SameTextLocale(text.substr(static_cast<std::size_t>(i - 1), pattern.size()), pattern)) {
            return i;
        }
    }
    return 0;
}

bool SameTextLocale(std::string_view a, std::string_view b) {
    return base::EqualsIgnoringCase(a, b);
}

std::string WrapAtBreaks(std::string_view line, std::string_view breakText,
                         std::string_view breakChars, std::int32_t maxCol) {
    std::array<bool, 256> isBreakChar{};
    for (char c : breakChars) {
        isBreakChar[static_cast<unsigned char>(c)] = true;
    }
    auto breakCharAt = [&](char c) { return isBreakChar[static_cast<unsigned char>(c)]; };

    // Positions are 1-based: line[pos - 1] is the byte at pos.
    const auto length = static_cast<std::int64_t>(line.size());
    const auto breakLength = static_cast<std::int64_t>(breakText.size());
    std::int64_t col = 1;
    std::int64_t pos = 1;
    std::int64_t lineStart = 1;
    std::int64_t breakPos = 0;
    bool inQuote = false;
    bool existingBreak = false;
    std::string result;
    result.reserve(line.size());

    while (pos <= length) {
        const char c = line[static_cast<std::size_t>(pos - 1)];
        if (IsLeadByte(c)) {
            // Together with the step below, both bytes pass as one column.
            ++pos;
            ++col;
        } else if (!breakText.empty() && c == breakText.front()) {
            if (!inQuote) {
                existingBreak = SameTextLocale(
                    line.substr(static_cast<std::size_t>(pos - 1), breakText.size()), breakText);
                if (existingBreak) {
                    pos += breakLength - 1;
                    breakPos = pos;
                }
            }
        } else if (breakCharAt(c)) {
            if (!inQuote) {
                breakPos = pos;
            }
        } else if (c == '"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++col;

        if (!inQuote && (existingBreak || (col > maxCol && breakPos > lineStart))) {
            col = pos - breakPos;
            result.append(line.substr(static_cast<std::size_t>(lineStart - 1),
                                      static_cast<std::size_t>(breakPos - lineStart + 1)));
            // The scan skips the blanks and line ends after the break; they
            // are still copied, at the start of the next piece.
            if (c != '"') {
                while (pos <= length) {
                    const char n = line[static_cast<std::size_t>(pos - 1)];
                    if (!breakCharAt(n) && n != '\r' && n != '\n') {
                        break;
                    }
                    ++pos;
                }
            }
            if (!existingBreak && pos < length) {
                result.append(breakText);
            }
            ++breakPos;
            lineStart = breakPos;
            existingBreak = false;
        }
    }
    if (lineStart <= length) {
        result.append(line.substr(static_cast<std::size_t>(lineStart - 1)));
    }
    return result;
}

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
