#include "net/text_tokens.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::net {
namespace {

TEST(TextTokens, TakeTokenCutsAtTheFirstDelimiter) {
    std::string input = "HTTP/1.1 200 OK";
    EXPECT_EQ(TakeToken(input, " "), "HTTP/1.1");
    EXPECT_EQ(input, "200 OK");
    EXPECT_EQ(TakeToken(input, " ", false), "200");
    EXPECT_EQ(input, "200 OK");

    input = "a\r\nb\r\n";
    EXPECT_EQ(TakeToken(input, "\r\n"), "a");
    EXPECT_EQ(input, "b\r\n");

    input = "no-delimiter";
    EXPECT_EQ(TakeToken(input, "/"), "no-delimiter");
    EXPECT_EQ(input, "");
    input = "abc";
    EXPECT_EQ(TakeToken(input, ""), "abc");
    EXPECT_EQ(input, "");
}

TEST(TextTokens, LastPosSearchesBackwardsIgnoringCase) {
    EXPECT_EQ(LastPos("/", "a/b/c"), 4);
    EXPECT_EQ(LastPos("/", "abc"), 0);
    EXPECT_EQ(LastPos("/", ""), 0);
    EXPECT_EQ(LastPos("/", "a/b/c", 3), 2);
    EXPECT_EQ(LastPos("/", "a/b/c", 99), 4);
    EXPECT_EQ(LastPos("/", "/bc", 0), 0);
    EXPECT_EQ(LastPos("AB", "xabyab"), 5);
    EXPECT_EQ(LastPos("AB", "xabyab", 5), 5);
    EXPECT_EQ(LastPos("AB", "xabyab", 4), 2);
    EXPECT_EQ(LastPos("abcd", "abc"), 0);
    EXPECT_EQ(LastPos("", "abc"), 0);
}

TEST(TextTokens, SameTextFoldsAsciiOnly) {
    EXPECT_TRUE(SameTextLocale("Content-Type", "CONTENT-TYPE"));
    EXPECT_TRUE(SameTextLocale("", ""));
    EXPECT_FALSE(SameTextLocale("abc", "abcd"));
    EXPECT_FALSE(SameTextLocale("[", "{"));  // not letters, though 32 apart
    EXPECT_FALSE(SameTextLocale("\xC4", "\xE4"));
    EXPECT_TRUE(SameTextLocale("\xC4x", "\xC4X"));
}

}  // namespace
}  // namespace corvane::net
