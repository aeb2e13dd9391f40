// A search profile: how to ask one search source for a query and how to
// find the result URLs in its answer, read from a small INI file. Profiles
// are data: a user corrects a selector in a file, not in the code.
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
    // {query} (percent-encoded), {page}, {offset} (OffsetStart + (N - 1) *
    // OffsetStep), {offset1} ({offset} + 1) and {NAME} for a value captured
    // from the previous page. The First* templates, when given, are used
    // for page 1 instead.
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
    // A block page: matches this XPath (HTML answers), or holds this text.
    std::string BlockXPath;
    std::string BlockText;
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
