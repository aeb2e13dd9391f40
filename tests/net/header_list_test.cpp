#include "net/header_list.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::net {
namespace {

using Lines = std::vector<std::string>;

TNetHeaderList ListOf(std::initializer_list<const char*> lines,
                      TNetHeaderListSettings settings = {}) {
    TNetHeaderList list(std::move(settings));
    for (const char* line : lines) {
        list.Add(line);
    }
    return list;
}

TEST(HeaderList, PlainListOperations) {
    TNetHeaderList list;
    EXPECT_EQ(list.Separator(), ": ");
    EXPECT_FALSE(list.MatchCase());
    EXPECT_TRUE(list.JoinContinuations());
    EXPECT_TRUE(list.FoldOnStore());
    EXPECT_EQ(list.FoldWidth(), 78);

    EXPECT_EQ(list.Add("b"), 0);
    list.Insert(0, "a");
    list.Insert(2, "c");
    list.Replace(1, "B");
    EXPECT_EQ(list.Lines(), (Lines{"a", "B", "c"}));
    list.Delete(0);
    EXPECT_EQ(list[0], "B");
    EXPECT_THROW(list[2], std::out_of_range);
    EXPECT_THROW(list.Insert(3, "x"), std::out_of_range);
    EXPECT_THROW(list.Delete(-1), std::out_of_range);

    TNetHeaderList other(TNetHeaderListSettings{.MatchCase = true});
    other.Add("old");
    other.Assign(list);
    EXPECT_TRUE(other.MatchCase());  // settings stay
    other.AddLines(other);
    EXPECT_EQ(other.Lines(), (Lines{"B", "c", "B", "c"}));
    other.Clear();
    EXPECT_TRUE(other.Empty());
}

TEST(HeaderList, FirstLineWithTheNameIgnoringCase) {
    const TNetHeaderList list =
        ListOf({"Content-Type: text/html", "content-type: x", "NoColon", ": empty name"});
    EXPECT_EQ(list.FindName("CONTENT-TYPE"), 0);
    EXPECT_EQ(list.ValueOf("CONTENT-TYPE"), "text/html");
    EXPECT_EQ(list.NameOfLine(1), "CONTENT-TYPE");
    EXPECT_EQ(list.NameOfLine(2), "");
    EXPECT_EQ(list.FindName("NoColon"), -1);
    EXPECT_EQ(list.FindName("Missing"), -1);
    EXPECT_EQ(list.ValueOf("Missing"), "");
    // A line without ":" has no value; its first byte is not taken for one.
    EXPECT_EQ(list.ValueOfLine(2), "");
    EXPECT_EQ(list.ValueOfLine(-1), "");
    EXPECT_EQ(list.ValueOfLine(list.Count()), "");

    const TNetHeaderList exact = ListOf({"content-type: x"}, {.MatchCase = true});
    EXPECT_EQ(exact.NameOfLine(0), "content-type");
    EXPECT_EQ(exact.FindName("CONTENT-TYPE"), 0);
}

TEST(HeaderList, ContinuationLinesJoin) {
    EXPECT_EQ(ListOf({"X: a", " b", "\tc"}).ValueOf("x"), "a b c");
    // After a trailing blank no space is added.
    EXPECT_EQ(ListOf({"X: a\t", " b"}).ValueOf("x"), "a\tb");
    EXPECT_EQ(ListOf({"X:", " c"}).ValueOf("x"), "c");
    // An empty line ends the header; bytes from 128 up are not blanks.
    EXPECT_EQ(ListOf({"X: a", "", " b"}).ValueOf("x"), "a");
    EXPECT_EQ(ListOf({"X:\xA0v"}).ValueOf("x"), "\xA0v");
    EXPECT_EQ(ListOf({"X: a", " b"}, {.JoinContinuations = false}).ValueOf("x"), "a");
}

TEST(HeaderList, StoreReplacesAddsAndRemoves) {
    TNetHeaderList list = ListOf({"A: 1", "X: old", " more", "\tand more", "Y: y", "X: second"});
    list.StoreValue("x", "new");
    EXPECT_EQ(list.Lines(), (Lines{"A: 1", "x: new", "Y: y", "X: second"}));
    list.StoreValue("Z", "z");
    EXPECT_EQ(list[4], "Z: z");

    list = ListOf({"A: 1", "X: a", " b", "Y: y", "X: second"});
    list.StoreValue("X", "");
    EXPECT_EQ(list.Lines(), (Lines{"A: 1", "Y: y", "X: second"}));
    EXPECT_EQ(list.ValueOf("A"), "1");
    list.StoreValue("Missing", "");
    EXPECT_EQ(list.Count(), 3);

    // Without folding only the line itself is replaced or deleted.
    TNetHeaderList plain = ListOf({"X: a", " b"}, {.FoldOnStore = false});
    plain.StoreValue("X", std::string(200, 'v') + " " + std::string(10, 'w'));
    EXPECT_EQ(plain.Count(), 2);
    EXPECT_EQ(plain[0].size(), 214u);
}

TEST(HeaderList, ContinuationHelpers) {
    TNetHeaderList list = ListOf({"X: a", " b", "", " c"});
    list.DropContinuations(0);
    EXPECT_EQ(list.Lines(), (Lines{"X: a", "", " c"}));
    list.DropContinuations(-1);
    list.DropContinuations(9);
    EXPECT_EQ(list.Count(), 3);

    list = ListOf({"A: 1", "old", "B: 2"});
    list.ReplaceWithFolded("Long: aaaa bbbb cccc", 1);
    EXPECT_EQ(list.Lines(), (Lines{"A: 1", "Long: aaaa bbbb cccc", "B: 2"}));
    TNetHeaderList narrow = ListOf({"A: 1", "old", "B: 2"}, {.FoldWidth = 12});
    narrow.ReplaceWithFolded("Long: aaaa bbbb cccc", 1);
    EXPECT_EQ(narrow.Lines(), (Lines{"A: 1", "Long: aaaa", " bbbb cccc", "B: 2"}));
    EXPECT_THROW(narrow.ReplaceWithFolded("x", 4), std::out_of_range);
}

TEST(HeaderList, LongValuesFoldAtBlanks) {
    std::string value;
    while (value.size() < 200) {
        value += "word" + std::to_string(value.size()) + " ";
    }
    value.pop_back();
    TNetHeaderList list;
    list.StoreValue("X-Long", value);
    ASSERT_GE(list.Count(), 3);
    EXPECT_GE(list[0].size(), 70u);
    for (int i = 0; i < list.Count(); ++i) {
        EXPECT_LE(list[i].size(), 78u) << list[i];
        if (i > 0) {
            EXPECT_EQ(list[i][0], ' ');
        }
    }
    EXPECT_EQ(list.ValueOf("x-long"), value);

    // Storing again drops the old continuation lines.
    list.StoreValue("X-Long", "short");
    EXPECT_EQ(list.Lines(), (Lines{"X-Long: short"}));

    // Without a blank in it the value is never broken; only the blank of the
    // separator is a place to fold.
    list.StoreValue("X-Long", std::string(200, 'x'));
    EXPECT_EQ(list.Lines(), (Lines{"X-Long:", " " + std::string(200, 'x')}));
    EXPECT_EQ(list.ValueOf("X-Long"), std::string(200, 'x'));
}

TEST(HeaderList, QuotedStretchesAreNotBroken) {
    const std::string quoted = "\"" + std::string(40, 'q') + " " + std::string(40, 'q') + "\"";
    TNetHeaderList list;
    list.StoreValue("X", "a " + quoted + " b c");
    EXPECT_EQ(list.Lines(), (Lines{"X: a", " " + quoted, " b c"}));
}

TEST(HeaderList, LineEndsInAValueCannotStartHeaders) {
    TNetHeaderList list;
    list.StoreValue("X", "a\r\nInjected: 1\r\n\r\nbody\r\n \r\n");
    EXPECT_EQ(list.Lines(), (Lines{"X: a", " Injected: 1", " body"}));
    EXPECT_EQ(list.FindName("Injected"), -1);
    EXPECT_EQ(list.ValueOf("X"), "a Injected: 1 body");
    // A break the text already has is kept as it is.
    EXPECT_EQ(list.FoldText("X: a\r\n\tb"), (Lines{"X: a", "\tb"}));
    EXPECT_EQ(list.FoldText(""), Lines{});
}

}  // namespace
}  // namespace corvane::net
