// Digit values and the readers of decimal and hexadecimal integer texts.
//
// Every reader takes the whole text it is given (nothing may follow the
// digits), reads no locale, allocates nothing and leaves `value` untouched
// when it answers false. The two 32-bit readers at the end are the two
// integer rules of the program; each caller names the one it follows. Used
// by every layer; depends on nothing but the standard library.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane::base {

// 0..15 for "0".."9", "a".."f" and "A".."F"; -1 for any other byte.
constexpr int HexDigitValue(char c) noexcept {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// `digits` as an unsigned number: at least one digit and nothing else, the
// value at most `limit`. Leading zeros are allowed and cost nothing.
bool TryReadDecimalDigits(std::string_view digits, std::uint64_t limit,
                          std::uint64_t& value) noexcept;
bool TryReadHexDigits(std::string_view digits, std::uint64_t limit, std::uint64_t& value) noexcept;

// An optional "+" or "-" and decimal digits, nothing else (no blanks), within
// the signed 32-bit range.
bool TryReadDecimalInt32(std::string_view text, std::int32_t& value) noexcept;

// The value rule: leading spaces, an optional "+" or "-", then decimal
// digits, or "$" or "0x" (either case of the x) and hexadecimal digits;
// nothing after them. The signed value must fit 32 bits in either notation:
// "$7FFFFFFF" and "-$80000000" are the ends, "$FFFFFFFF" does not fit.
bool TryReadInt32(std::string_view text, std::int32_t& value) noexcept;

// The bit-pattern rule: leading spaces, then either an optional "+" or "-"
// and decimal digits within the signed 32-bit range, or "$", "x" or "0x"
// (either case of the x) and hexadecimal digits of at most 32 bits, which
// are taken as the two's-complement bits of the integer: "$FFFFFFFF" is -1.
// No sign goes before a hexadecimal prefix.
bool TryReadInt32Bits(std::string_view text, std::int32_t& value) noexcept;

}  // namespace corvane::base
