#include "base/percent_text.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::base {
namespace {

TEST(PercentText, EveryByteSurvivesTheRoundTripInEachForm) {
    std::string all;
    for (int i = 0; i < 256; ++i) {
        all += static_cast<char>(i);
    }
    for (const bool plus : {false, true}) {
        for (const bool lower : {false, true}) {
            const std::string encoded = PercentEncode(all, plus, lower);
            EXPECT_EQ(PercentDecode(encoded, plus), all) << plus << lower;
        }
    }
}

TEST(PercentText, FormsOfTheBlankThePlusAndTheHexDigits) {
    EXPECT_EQ(PercentEncode("a b+c/~"), "a%20b%2Bc%2F~");
    EXPECT_EQ(PercentEncode("a b+c/~", true), "a+b%2Bc%2F~");
    EXPECT_EQ(PercentEncode("\xC3\xBC", false, true), "%c3%bc");
    EXPECT_EQ(PercentDecode("a+b%2b"), "a+b+");
    EXPECT_EQ(PercentDecode("a+b%2b", true), "a b+");
    // A "%" without two hexadecimal digits after it stays.
    EXPECT_EQ(PercentDecode("100%"), "100%");
    EXPECT_EQ(PercentDecode("%4"), "%4");
}

}  // namespace
}  // namespace corvane::base
