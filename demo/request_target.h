// Request targets as the demo web receives them: in absolute form when it is
// used as an HTTP proxy ("http://host/path?query"), in origin form when a
// front end points a service straight at it ("/path?query" with a Host
// header). Both become one (host, path, query) triple.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::demo {

struct RequestTarget {
    bool Absolute = false;
    std::string Host;   // lower-cased, without port; from the Host header in origin form
    std::string Path;   // "/" at least; not decoded
    std::string Query;  // raw, without the "?"
};

// Splits a request target; `hostHeader` supplies the host of an origin-form
// target. Answers nothing for a target that is neither form (an authority
// form, "*", a scheme other than http, an empty host).
std::optional<RequestTarget> SplitTarget(std::string_view target, std::string_view hostHeader);

// The host of a Host header value: lower-cased, without ":port".
std::string HostOfHeader(std::string_view value);

// Splits a query into decoded (key, value) pairs. A value that opens with an
// escaped or plain double quote and is cut by an unescaped "&" before its
// closing quote takes the following pieces back in, up to the piece that
// closes the quote: "p=%22a&b%22&n=10" gives p = "\"a&b\"" and n = "10".
using QueryParams = std::vector<std::pair<std::string, std::string>>;
QueryParams ParseQuery(std::string_view query);

// Splits a query or an application/x-www-form-urlencoded body into decoded
// (key, value) pairs, strictly at every "&": what today's clients send,
// which escape every "&" and quote inside a value.
QueryParams ParseForm(std::string_view form);

// The first value of a key, if present.
std::optional<std::string> ParamValue(const QueryParams& params, std::string_view key);

}  // namespace corvane::demo
