#include "engine/text_ops.h"

#include <gtest/gtest.h>

#include <limits>

namespace corvane::engine {
namespace {

TEST(PosOfSlice, PositionsAndClamps) {
    EXPECT_EQ(PosOf("b", "abc"), 2);
    EXPECT_EQ(PosOf("abc", "abc"), 1);
    EXPECT_EQ(PosOf("x", "abc"), 0);
    EXPECT_EQ(PosOf("", "abc"), 0);
    EXPECT_EQ(PosOf("a", ""), 0);
    EXPECT_EQ(PosOf("abcd", "abc"), 0);

    EXPECT_EQ(Slice("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Slice("abcdef", 0, 2), "ab");  // start below 1: count not reduced
    EXPECT_EQ(Slice("abcdef", -5, 2), "ab");
    EXPECT_EQ(Slice("abcdef", 6, 1), "f");
    EXPECT_EQ(Slice("abcdef", 7, 1), "");   // past the end
    EXPECT_EQ(Slice("abcdef", 3, -1), "");  // negative count
    EXPECT_EQ(Slice("abcdef", 3, 0), "");
    EXPECT_EQ(Slice("", 1, 5), "");
    EXPECT_EQ(Slice("abcdef", 4, 100), "def");  // cut at the end
    EXPECT_EQ(Slice("abc", 1, std::numeric_limits<std::int64_t>::max()), "abc");
    EXPECT_EQ(RestFrom("abcdef", 0), "abcdef");
    EXPECT_EQ(RestFrom("abcdef", 3), "cdef");
}

TEST(TextOps, ReplaceAllText) {
    EXPECT_EQ(ReplaceAllText("Link Building Tips", " ", "+"), "Link+Building+Tips");
    EXPECT_EQ(ReplaceAllText("a:b:c", ":", "%3A"), "a%3Ab%3Ac");
    // Found without regard to case; the rest keeps its case.
    EXPECT_EQ(ReplaceAllText("xABx abX", "ab", "-"), "x-x -X");
    EXPECT_EQ(ReplaceAllText("abc", "", "z"), "abc");
    EXPECT_EQ(ReplaceAllText("", "a", "z"), "");
    // The search restarts from the front, so a hit made of the replacement
    // and the text before it is replaced again.
    EXPECT_EQ(ReplaceAllText("aabb", "ab", "a"), "aa");
    EXPECT_EQ(ReplaceAllText("aaab", "ab", "b"), "b");
}

TEST(TextOps, StripNumberSeparatorsAndTagMarks) {
    EXPECT_EQ(StripNumberSeparators("1,234.567 89"), "123456789");
    EXPECT_EQ(StripNumberSeparators(",. "), "");
    EXPECT_EQ(StripTagMarks("<b>Word</b>"), "bword>");
    EXPECT_EQ(StripTagMarks("<I>x</i></b>"), "ix>>");
    EXPECT_EQ(StripTagMarks("plain"), "plain");
    // Only the first occurrence of each mark goes.
    EXPECT_EQ(StripTagMarks("a<b<c>d>e"), "ab<cd>e");
}

TEST(TextOps, HostFromUrlAndBareDomain) {
    EXPECT_EQ(HostFromUrl("http://WWW.Example.COM/Path/x.html"), "www.example.com");
    EXPECT_EQ(HostFromUrl("Example.com"), "example.com");
    EXPECT_EQ(HostFromUrl("https://example.com/a"), "https:");
    EXPECT_EQ(HostFromUrl("example.com/a/b"), "example.com");
    EXPECT_EQ(HostFromUrl("xhttp://a.b/c"), "a.b");
    EXPECT_EQ(BareDomain("http://www.example.com/x"), "example.com");
    EXPECT_EQ(BareDomain("shop.www.example.com"), "example.com");
    EXPECT_EQ(BareDomain("example.com"), "example.com");
}

TEST(TextOps, FigureToIntRule) {
    std::int32_t v = 7;
    EXPECT_TRUE(TryFigureToInt("123", v));
    EXPECT_EQ(v, 123);
    EXPECT_TRUE(TryFigureToInt("   -42", v));
    EXPECT_EQ(v, -42);
    EXPECT_TRUE(TryFigureToInt("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(TryFigureToInt("$1F", v));
    EXPECT_EQ(v, 31);
    EXPECT_TRUE(TryFigureToInt("0x10", v));
    EXPECT_EQ(v, 16);
    EXPECT_TRUE(TryFigureToInt("0XfF", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(TryFigureToInt("2147483647", v));
    EXPECT_EQ(v, 2147483647);
    EXPECT_TRUE(TryFigureToInt("-2147483648", v));
    EXPECT_EQ(v, std::numeric_limits<std::int32_t>::min());
    EXPECT_TRUE(TryFigureToInt("000000000000000000012", v));
    EXPECT_EQ(v, 12);

    v = 7;
    for (const char* bad : {"", " ", "+", "-", "$", "0x", "12 ", "1a", "2147483648", "-2147483649",
                            "$80000000", "99999999999999999999", "\t5", "1,234", "n/a", "1-"}) {
        EXPECT_FALSE(TryFigureToInt(bad, v)) << '"' << bad << '"';
    }
    EXPECT_EQ(v, 7);  // untouched on failure
}

// The figure rule at its edges. Unlike the socket layer's integer rule, a
// hexadecimal figure is a signed value that must fit: "$FFFFFFFF" is refused.
TEST(TextOps, FigureRuleAtTheBoundaries) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
    } cases[] = {
        {"$FFFFFFFF", false, 0},
        {"0x7FFFFFFF", true, 2147483647},
        {"-2147483648", true, std::numeric_limits<std::int32_t>::min()},
        {"2147483648", false, 0},
        {"+5", true, 5},
        {" 5", true, 5},
        {"", false, 0},
        {"-$80000000", true, std::numeric_limits<std::int32_t>::min()},
        {"x10", false, 0},
    };
    for (const auto& c : cases) {
        std::int32_t v = 99;
        EXPECT_EQ(TryFigureToInt(c.text, v), c.ok) << '"' << c.text << '"';
        EXPECT_EQ(v, c.ok ? c.value : 99) << '"' << c.text << '"';
    }
}

TEST(TextOps, WrapAddIsTwosComplement) {
    EXPECT_EQ(WrapAdd(2147483647, 1), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(WrapAdd(std::numeric_limits<std::int32_t>::min(), -1), 2147483647);
    EXPECT_EQ(WrapAdd(-2, 1), -1);
}

}  // namespace
}  // namespace corvane::engine
