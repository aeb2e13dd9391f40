#include "net/uri.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::net {
namespace {

// The six parts in field order, for one readable comparison.
std::string Parts(const UriParts& p) {
    return p.Protocol + " | " + p.Host + " | " + p.Port + " | " + p.Path + " | " + p.Document +
           " | " + p.Fragment;
}

TEST(SplitUri, SchemeHostPortAndPath) {
    EXPECT_EQ(Parts(SplitUri("http://www.example.com")), "http | www.example.com |  | / |  | ");
    EXPECT_EQ(Parts(SplitUri("http://h:8080/a/b/")), "http | h | 8080 | /a/b/ |  | ");
    EXPECT_EQ(Parts(SplitUri("HTTP://Host/Dir/Page.html")),
              "HTTP | Host |  | /Dir/ | Page.html | ");
    EXPECT_EQ(Parts(SplitUri("http://h:/x")), "http | h |  | / | x | ");
    EXPECT_EQ(Parts(SplitUri("")), " |  |  | / |  | ");
}

TEST(SplitUri, QueryStaysInTheDocument) {
    EXPECT_EQ(
        Parts(SplitUri("http://search.example.com/search?p=link+building&ei=UTF-8&n=10&b=11")),
        "http | search.example.com |  | / | search?p=link+building&ei=UTF-8&n=10&b=11 | ");
    // A "/" in the query moves the split point, not the joined target.
    const UriParts slash = SplitUri("http://h/a?x=y/z");
    EXPECT_EQ(slash.Path, "/a?x=y/");
    EXPECT_EQ(slash.Document, "z");
    EXPECT_EQ(slash.Path + slash.Document, "/a?x=y/z");
    // A "#" in the query cuts it there, later parameters included.
    EXPECT_EQ(Parts(SplitUri("http://h/a?x=1#frag&y=2")), "http | h |  | / | a?x=1 | frag&y=2");
    // A "#" before the last "/" stays in the path.
    EXPECT_EQ(Parts(SplitUri("http://h/a#b/c")), "http | h |  | /a#b/ | c | ");
    EXPECT_EQ(Parts(SplitUri("http://h/a#b#c")), "http | h |  | / | a | b#c");
}

TEST(SplitUri, SchemeSeparatorAbsentOrLate) {
    EXPECT_EQ(Parts(SplitUri("a/b")), " |  |  | /a/ | b | ");
    EXPECT_EQ(Parts(SplitUri("/a/b")), " |  |  | /a/ | b | ");
    EXPECT_EQ(Parts(SplitUri("page.html?q=1")), " |  |  | / | page.html?q=1 | ");
    // The first "://" counts wherever it is.
    EXPECT_EQ(Parts(SplitUri("/a?x=s://h/b")), "/a?x=s | h |  | / | b | ");
}

TEST(SplitUri, NothingIsRecognisedOrDecoded) {
    EXPECT_EQ(Parts(SplitUri("http://u@h/x")), "http | u@h |  | / | x | ");
    EXPECT_EQ(Parts(SplitUri("http://u:p@h/x")), "http | u | p@h | / | x | ");
    EXPECT_EQ(Parts(SplitUri("http://[::1]:80/x")), "http | [ | :1]:80 | / | x | ");
    EXPECT_EQ(Parts(SplitUri("http://h/%7Eu/a+b%20\xC3\xA9?q=%41")),
              "http | h |  | /%7Eu/ | a+b%20\xC3\xA9?q=%41 | ");
}

TEST(SplitUri, BackslashesTravelAsSlashes) {
    std::string text = "a\\b\\\\c";
    UnifySlashes(text);
    EXPECT_EQ(text, "a/b//c");
    EXPECT_EQ(Parts(SplitUri("http:\\\\h\\a\\b?q=c\\d")), "http | h |  | /a/b?q=c/ | d | ");
}

TEST(TNetURI, HoldsTextAndParts) {
    const TNetURI empty;
    EXPECT_EQ(empty.URI(), "");
    EXPECT_EQ(Parts(empty.Parts()), " |  |  |  |  | ");
    EXPECT_EQ(Parts(TNetURI("").Parts()), " |  |  |  |  | ");

    TNetURI uri("http://h:81\\a\\b#f");
    EXPECT_EQ(uri.URI(), "http://h:81/a/b#f");
    EXPECT_EQ(uri.Host(), "h");
    EXPECT_EQ(uri.Port(), "81");
    EXPECT_EQ(uri.Path(), "/a/");
    EXPECT_EQ(uri.Document(), "b");
    EXPECT_EQ(uri.Fragment(), "f");

    uri.SetURI("x/y");
    EXPECT_EQ(Parts(uri.Parts()), " |  |  | /x/ | y | ");
    uri.SetURI("");
    EXPECT_EQ(Parts(uri.Parts()), " |  |  | / |  | ");
}

}  // namespace
}  // namespace corvane::net
