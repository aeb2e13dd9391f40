// A search profile: how to ask one search source for a query and how to
// find the result URLs in its answer, read from a small INI file. Profiles
// are data: a user corrects a selector in a file, not in the code.
//
// The file is read with platform/profile_reader.h: a line starting with ";"
// is a comment (a ";" later in a line is part of the value), names are
// matched without regard to case, and a value may be quoted. Sections and
// keys (an example for each value):
//
//   [profile]
//     description     one line for `corvane-cli profiles`
//     kind            web (default), or classic: the long-standing survey,
//                     for which nothing else is read
//   [request]
//     method          GET (default) or POST
//     base            https://host: the default {base}
//     base-required   yes or no (default): the user must give the base
//                     (--searxng URL)
//     url             the request template of every page (required)
//     first-url       page 1's template, when it differs
//     body            POST form body template (x-www-form-urlencoded)
//     first-body      page 1's body, when it differs
//     offset-start    0: {offset} of page N is start + (N - 1) * step
//     offset-step     10
//     page-size       10, the results a page usually holds (1 to 1000)
//     page-limit      10, the pages asked for at most (1 to 100)
//   [headers]
//     NAME            one key per header, Cookie included: Referer = https://host/
//   [answer]
//     kind            html (default; XPath 1.0 expressions) or json (paths)
//     results         what selects the result URLs (required):
//                     //div[@class="r"]/a/@href, or results[].url
//     unwrap-parameter  uddg: redirect links hold the target in this parameter
//     unwrap-start    /RU=: or the target follows this marker (from its
//                     first "http" on) ...
//     unwrap-end      /RK= /RS=: ... up to the first of these (apart by blanks)
//     skip            URL prefixes of ads, apart by blanks
//     skip-relative   yes or no (default): relative links (no scheme and no
//                     "//host") are ads
//     block-xpath     a block page matches this expression (html only) ...
//     block-text      ... or holds this text (case ignored)
//     refused         what an answer of status 403 means for this source
//   [captures]
//     NAME            an expression for a value of this page that the next
//                     page's request uses as {NAME}: vqd = //input[@name="vqd"]/@value
//
// Templates hold placeholders: {base}, {query}, {page}, {offset}, {offset1}
// and the names of [captures]; any other "{...}" is an error, and so is a
// capture in a page-1 template (page 1 has no page before it). Unknown
// sections and keys, repeated ones and lines without "=" are errors too, so
// that a typing mistake is told, not silently ignored. For json answers the
// expressions are paths: names apart by ".", "[]" after a name to take each
// element of an array ("results[].url", "data.items[].link", "[].url").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace corvane::search {

// A profile that cannot be used; the message names the file and the line,
// "FILE:LINE: what is wrong" (the line is left out when the fault has none).
class ProfileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Classic: the long-standing survey with its own fixed requests; the other
// fields are unused. Web: a survey of today's web driven by the fields below.
enum class ProfileKind { Classic, Web };
enum class AnswerKind { Html, Json };

struct SearchProfile {
    std::string Name;         // the file's stem ("duckduckgo")
    std::string Source;       // the file it was read from, or "built-in"
    std::string Description;  // one line for `profiles`
    ProfileKind Kind = ProfileKind::Web;

    // The request of page N (1-based). Templates hold placeholders: {base},
    // {query} (percent-encoded; a space is "%20" in the URL and the headers,
    // "+" in a form body), {page}, {offset} (OffsetStart + (N - 1) *
    // OffsetStep), {offset1} ({offset} + 1) and {NAME} for a value captured
    // from the previous page (encoded as the query is). The First*
    // templates, when given, are used for page 1 instead.
    std::string Method = "GET";  // "GET" or "POST"
    std::string Base;            // default {base}; a user's --searxng replaces it
    bool BaseRequired = false;   // no usable default: the user must give one
    std::string UrlTemplate;
    std::string FirstUrlTemplate;
    std::string BodyTemplate;  // POST form body, sent as x-www-form-urlencoded
    std::string FirstBodyTemplate;
    std::vector<std::pair<std::string, std::string>> Headers;  // Cookie included
    std::int32_t OffsetStart = 0;
    std::int32_t OffsetStep = 10;
    std::int32_t PageSize = 10;   // results a page usually holds
    std::int32_t PageLimit = 10;  // pages asked for at most

    // Where the result URLs are: an XPath 1.0 expression over the parsed
    // HTML, or a path into the JSON answer ("results[].url").
    AnswerKind Answer = AnswerKind::Html;
    std::string Results;
    // Redirect links: a query parameter holding the target ("uddg"), or a
    // start marker ("/RU=") and end markers ("/RK=", "/RS=") around it.
    std::string UnwrapParameter;
    std::string UnwrapStart;
    std::vector<std::string> UnwrapEnds;
    // Result URLs starting with one of these are ads and are skipped.
    std::vector<std::string> SkipPrefixes;
    // Relative result links (no scheme, not "//host/...") are ads.
    bool SkipRelative = false;
    // A block page: matches this XPath (HTML answers), or holds this text.
    std::string BlockXPath;
    std::string BlockText;
    // What an answer of status 403 usually means for this source, for the
    // user; empty when nothing particular.
    std::string RefusedHint;
    // Values taken from a page for the next page's request: name, XPath.
    std::vector<std::pair<std::string, std::string>> Captures;
};

// Reads a profile from the text of an INI file. `source` names the file in
// messages and becomes Source; `name` becomes Name. Throws ProfileError for
// a file that does not parse, a missing required key, a bad number, or an
// XPath that does not compile.
SearchProfile ParseProfile(const std::string& text, const std::string& source,
                           const std::string& name);

}  // namespace corvane::search
