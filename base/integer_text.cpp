// The digit and integer text readers of base/integer_text.h; pure functions.
#include "base/integer_text.h"

#include "base/ascii.h"

namespace corvane::base {

namespace {

constexpr std::uint64_t kInt32Max = 2147483647u;
constexpr std::uint64_t kInt32MinMagnitude = 2147483648u;
constexpr std::uint64_t kUInt32Max = 4294967295u;

template <unsigned Base, typename DigitOf>
bool TryReadDigits(std::string_view digits, std::uint64_t limit, std::uint64_t& value,
                   DigitOf digitOf) noexcept {
    if (digits.empty()) {
        return false;
    }
    std::uint64_t v = 0;
    for (const char c : digits) {
        const int d = digitOf(c);
        if (d < 0) {
            return false;
        }
        const auto digit = static_cast<std::uint64_t>(d);
        // v * Base + digit <= limit, asked without overflowing.
        if (digit > limit || v > (limit - digit) / Base) {
            return false;
        }
        v = v * Base + digit;
    }
    value = v;
    return true;
}

int DecimalDigitValue(char c) noexcept {
    return IsDigit(c) ? c - '0' : -1;
}

std::string_view SkipSpaces(std::string_view text) noexcept {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    return text.substr(i);
}

// Takes a leading "+" or "-" off `text`; true for "-".
bool TakeSign(std::string_view& text) noexcept {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const bool negative = text.front() == '-';
        text.remove_prefix(1);
        return negative;
    }
    return false;
}

// Takes "$" or "0x"/"0X" (and, with `bareX`, "x"/"X") off `text`; true when
// one was there.
bool TakeHexPrefix(std::string_view& text, bool bareX) noexcept {
    if (!text.empty() &&
        (text.front() == '$' || (bareX && (text.front() == 'x' || text.front() == 'X')))) {
        text.remove_prefix(1);
        return true;
    }
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        return true;
    }
    return false;
}

std::int32_t Signed(std::uint64_t magnitude, bool negative) noexcept {
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude))
                    : static_cast<std::int32_t>(magnitude);
}

}  // namespace

bool TryReadDecimalDigits(std::string_view digits, std::uint64_t limit,
                          std::uint64_t& value) noexcept {
    return TryReadDigits<10>(digits, limit, value, DecimalDigitValue);
}

bool TryReadHexDigits(std::string_view digits, std::uint64_t limit, std::uint64_t& value) noexcept {
    return TryReadDigits<16>(digits, limit, value, HexDigitValue);
}

bool TryReadDecimalInt32(std::string_view text, std::int32_t& value) noexcept {
    const bool negative = TakeSign(text);
    std::uint64_t magnitude = 0;
    if (!TryReadDecimalDigits(text, negative ? kInt32MinMagnitude : kInt32Max, magnitude)) {
        return false;
    }
    value = Signed(magnitude, negative);
    return true;
}

bool TryReadInt32(std::string_view text, std::int32_t& value) noexcept {
    text = SkipSpaces(text);
    const bool negative = TakeSign(text);
    const bool hex = TakeHexPrefix(text, false);
    const std::uint64_t limit = negative ? kInt32MinMagnitude : kInt32Max;
    std::uint64_t magnitude = 0;
    if (!(hex ? TryReadHexDigits(text, limit, magnitude)
              : TryReadDecimalDigits(text, limit, magnitude))) {
        return false;
    }
    value = Signed(magnitude, negative);
    return true;
}

bool TryReadInt32Bits(std::string_view text, std::int32_t& value) noexcept {
    text = SkipSpaces(text);
    if (!TakeHexPrefix(text, true)) {
        return TryReadDecimalInt32(text, value);
    }
    std::uint64_t bits = 0;
    if (!TryReadHexDigits(text, kUInt32Max, bits)) {
        return false;
    }
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
    return true;
}

}  // namespace corvane::base
