#include "net/line_wrap.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::net {
namespace {

TEST(LineWrap, WrapInsertsBreaksAfterBreakChars) {
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

TEST(LineWrap, WrapIsOnePassOverLongText) {
    std::string text;
    for (int i = 0; i < 200000; ++i) {
        text += "word ";
    }
    const std::string wrapped = WrapAtBreaks(text, "\r\n ", "\t ", 78);
    ASSERT_GT(wrapped.size(), text.size());
    EXPECT_EQ((wrapped.size() - text.size()) % 3, 0u);
    EXPECT_EQ(WrapAtBreaks(std::string(1000000, '"'), "\r\n ", "\t ", 78).size(), 1000000u);
}

}  // namespace
}  // namespace corvane::net
