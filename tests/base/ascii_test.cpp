#include "base/ascii.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::base {
namespace {

TEST(AsciiCase, OnlyTheLettersChangeAcrossAllBytes) {
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>(i);
        const bool upper = i >= 'A' && i <= 'Z';
        const bool lower = i >= 'a' && i <= 'z';
        EXPECT_EQ(LowerAscii(c), upper ? static_cast<char>(i + 32) : c) << i;
        EXPECT_EQ(UpperAscii(c), lower ? static_cast<char>(i - 32) : c) << i;
    }
    EXPECT_EQ(LowerAscii("AbC-Z@[\xC4\xD6"), "abc-z@[\xC4\xD6");
    EXPECT_EQ(UpperAscii("abc-z`{\xE4"), "ABC-Z`{\xE4");
    std::string text = "MiXeD 42";
    LowerAsciiInPlace(text);
    EXPECT_EQ(text, "mixed 42");
    UpperAsciiInPlace(text);
    EXPECT_EQ(text, "MIXED 42");
}

TEST(AsciiCase, EqualityAndPrefixIgnoreLetterCaseOnly) {
    EXPECT_TRUE(EqualsIgnoringCase("Content-Type", "CONTENT-TYPE"));
    EXPECT_TRUE(EqualsIgnoringCase("", ""));
    EXPECT_FALSE(EqualsIgnoringCase("abc", "abcd"));
    EXPECT_FALSE(EqualsIgnoringCase("[", "{"));  // 32 apart, but not letters
    EXPECT_FALSE(EqualsIgnoringCase("@", "`"));
    EXPECT_FALSE(EqualsIgnoringCase("\xC4", "\xE4"));
    EXPECT_TRUE(EqualsIgnoringCase("\xC4x", "\xC4X"));
    EXPECT_TRUE(StartsWithIgnoringCase("+OK ready", "+ok"));
    EXPECT_TRUE(StartsWithIgnoringCase("abc", ""));
    EXPECT_FALSE(StartsWithIgnoringCase("ab", "abc"));
}

TEST(AsciiCase, CompareFoldsToUpperCaseAndOrdersBytesUnsigned) {
    EXPECT_EQ(CompareIgnoringCase("abc", "ABC"), 0);
    EXPECT_LT(CompareIgnoringCase("abc", "ABD"), 0);
    EXPECT_GT(CompareIgnoringCase("b", "A"), 0);
    EXPECT_LT(CompareIgnoringCase("ab", "abc"), 0);  // the beginning goes first
    EXPECT_LT(CompareIgnoringCase("", "a"), 0);
    // Folding to upper case puts "_" (between "Z" and "a") after the letters.
    EXPECT_GT(CompareIgnoringCase("_", "a"), 0);
    EXPECT_GT(CompareIgnoringCase("_", "Z"), 0);
    EXPECT_GT(CompareIgnoringCase("\xC4", "z"), 0);  // unsigned bytes
}

TEST(AsciiText, TrimsBlanksAndControlsButNothingElse) {
    EXPECT_EQ(TrimBlanks(" \t\r\n x y \x01"), "x y");
    EXPECT_EQ(TrimLeftBlanks("  x "), "x ");
    EXPECT_EQ(TrimRightBlanks("  x "), "  x");
    EXPECT_EQ(TrimBlanks("   "), "");
    EXPECT_EQ(TrimBlanks("\xA0x\xA0"), "\xA0x\xA0");  // bytes from 128 up are text
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(IsControl(static_cast<char>(i)), i < 32 || i == 127) << i;
        EXPECT_EQ(IsDigit(static_cast<char>(i)), i >= '0' && i <= '9') << i;
    }
    EXPECT_TRUE(IsLetterOrDigit('z') && IsLetterOrDigit('Q') && IsLetterOrDigit('7'));
    EXPECT_FALSE(IsLetterOrDigit('_') || IsLetterOrDigit('\xE4') || IsDigit('/') || IsDigit(':'));
}

}  // namespace
}  // namespace corvane::base
