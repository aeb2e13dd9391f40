#include "base/integer_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace corvane::base {
namespace {

constexpr std::uint64_t kMax64 = std::numeric_limits<std::uint64_t>::max();

TEST(IntegerText, HexDigitValues) {
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        int expected = -1;
        if (i >= '0' && i <= '9')
            expected = i - '0';
        if (i >= 'a' && i <= 'f')
            expected = i - 'a' + 10;
        if (i >= 'A' && i <= 'F')
            expected = i - 'A' + 10;
        EXPECT_EQ(HexDigitValue(c), expected) << i;
    }
}

TEST(IntegerText, DigitReadersStopAtTheLimitWithoutOverflowing) {
    std::uint64_t v = 7;
    EXPECT_TRUE(TryReadDecimalDigits("255", 255, v));
    EXPECT_EQ(v, 255u);
    EXPECT_FALSE(TryReadDecimalDigits("256", 255, v));
    EXPECT_TRUE(TryReadDecimalDigits("0000000000000000000000000042", 42, v));  // zeros are free
    EXPECT_EQ(v, 42u);
    EXPECT_TRUE(TryReadDecimalDigits("18446744073709551615", kMax64, v));
    EXPECT_EQ(v, kMax64);
    EXPECT_FALSE(TryReadDecimalDigits("18446744073709551616", kMax64, v));
    EXPECT_FALSE(TryReadDecimalDigits("99999999999999999999", kMax64, v));
    EXPECT_TRUE(TryReadHexDigits("fFfFfFfFfFfFfFfF", kMax64, v));
    EXPECT_EQ(v, kMax64);
    EXPECT_FALSE(TryReadHexDigits("10000000000000000", kMax64, v));
    EXPECT_TRUE(TryReadHexDigits("7fffffff", 0x7FFFFFFF, v));
    EXPECT_FALSE(TryReadHexDigits("80000000", 0x7FFFFFFF, v));
    EXPECT_TRUE(TryReadDecimalDigits("0", 0, v));
    EXPECT_EQ(v, 0u);
    EXPECT_FALSE(TryReadDecimalDigits("1", 0, v));

    v = 7;
    for (const char* bad : {"", " 1", "1 ", "+1", "-1", "1a", "0x1", "\xB9"}) {
        EXPECT_FALSE(TryReadDecimalDigits(bad, kMax64, v)) << '"' << bad << '"';
    }
    for (const char* bad : {"", "$1", "g", "1 ", "-1"}) {
        EXPECT_FALSE(TryReadHexDigits(bad, kMax64, v)) << '"' << bad << '"';
    }
    EXPECT_EQ(v, 7u);  // untouched on failure
}

TEST(IntegerText, DecimalInt32TakesASignAndNothingElse) {
    std::int32_t v = 7;
    EXPECT_TRUE(TryReadDecimalInt32("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(TryReadDecimalInt32("+2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TryReadDecimalInt32("-0", v));
    EXPECT_EQ(v, 0);
    v = 7;
    for (const char* bad : {"", "+", "-", " 5", "5 ", "2147483648", "-2147483649", "$10", "--1"}) {
        EXPECT_FALSE(TryReadDecimalInt32(bad, v)) << '"' << bad << '"';
    }
    EXPECT_EQ(v, 7);
}

// The two 32-bit rules side by side: where they agree and where they part.
TEST(IntegerText, ValueRuleAndBitPatternRule) {
    struct Case {
        const char* text;
        bool valueOk;
        std::int32_t value;
        bool bitsOk;
        std::int32_t bits;
    };
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const Case cases[] = {
        {"42", true, 42, true, 42},
        {"  -42", true, -42, true, -42},
        {"+5", true, 5, true, 5},
        {"$1F", true, 31, true, 31},
        {"0XfF", true, 255, true, 255},
        {"0x7FFFFFFF", true, 2147483647, true, 2147483647},
        {"$80000000", false, 0, true, kMin},
        {"$FFFFFFFF", false, 0, true, -1},
        {"$100000000", false, 0, false, 0},
        {"$000000001", true, 1, true, 1},
        {"-$80000000", true, kMin, false, 0},  // a sign before the prefix: value rule only
        {"-$1", true, -1, false, 0},
        {"x1F", false, 0, true, 31},  // a bare "x": bit-pattern rule only
        {"-2147483648", true, kMin, true, kMin},
        {"2147483648", false, 0, false, 0},
        {"", false, 0, false, 0},
        {"   ", false, 0, false, 0},
        {"$", false, 0, false, 0},
        {"0x", false, 0, false, 0},
        {"\t5", false, 0, false, 0},  // only spaces lead
        {"5 ", false, 0, false, 0},
        {"1,234", false, 0, false, 0},
    };
    for (const Case& c : cases) {
        std::int32_t v = 99;
        EXPECT_EQ(TryReadInt32(c.text, v), c.valueOk) << '"' << c.text << '"';
        EXPECT_EQ(v, c.valueOk ? c.value : 99) << '"' << c.text << '"';
        v = 99;
        EXPECT_EQ(TryReadInt32Bits(c.text, v), c.bitsOk) << '"' << c.text << '"';
        EXPECT_EQ(v, c.bitsOk ? c.bits : 99) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace corvane::base
