// Text primitives of the survey engine.
//
// Pure functions on byte strings. Positions are 1-based and follow PosOf and
// Slice, whose clamping at the edges every scraping rule relies on. Case
// folding is the base library's (base/ascii.h): the ASCII letters only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::engine {

// Position (1-based) of the first occurrence of `pattern` in `text`; 0 when
// it does not occur or when either text is empty.
std::int64_t PosOf(std::string_view pattern, std::string_view text);

// The part of `text` from `start` (1-based) with `count` bytes. A start below
// 1 counts as 1 without reducing the count; a start past the end, an empty
// text or a negative count give an empty text; the count is cut at the end.
std::string_view SliceView(std::string_view text, std::int64_t start, std::int64_t count);
std::string Slice(std::string_view text, std::int64_t start, std::int64_t count);

// The rest of `text` from position `start` (Slice with the whole length).
std::string_view RestFrom(std::string_view text, std::int64_t start);

// Replaces every occurrence of `pattern`, found without regard to ASCII case,
// by `replacement`. Letters outside the replaced stretches keep their case.
std::string ReplaceAllText(std::string_view text, std::string_view pattern,
                           std::string_view replacement);

// Removes every "," then every "." then every " ".
std::string StripNumberSeparators(std::string_view text);

// Lower-cases, then removes the first occurrence of "</i", "</b", "</", "<"
// and ">", in that order.
std::string StripTagMarks(std::string_view text);

// Lower-cased host part of a URL text: what follows the first "http://", cut
// before the next "/".
std::string HostFromUrl(std::string_view text);

// HostFromUrl without everything up to and including the first "www.".
std::string BareDomain(std::string_view text);

// The figure-to-integer rule: leading blanks, an optional sign, then decimal
// digits, or hexadecimal digits after "$" or "0x"; nothing after them; the
// value within the signed 32-bit range. Returns false when the text is not
// such a number.
bool TryFigureToInt(std::string_view text, std::int32_t& value);

// 32-bit signed addition that wraps as two's complement does.
constexpr std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace corvane::engine
