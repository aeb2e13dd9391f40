// URL text of the search library: query parameters of redirect links and
// the pieces of a result URL (scheme, host, the
// resolution of a relative link against its page).
#pragma once

#include <string>
#include <string_view>

namespace corvane::search {

// The value of query parameter `name` of a URL, percent-decoded; false when
// the URL's query has no such parameter.
bool QueryParameter(std::string_view url, std::string_view name, std::string& value);

// The scheme of an absolute URL, lower-cased ("https"); empty when the text
// does not start with one.
std::string SchemeOf(std::string_view url);

// `link` made absolute against `page`: an absolute link stays as it is, a
// protocol-relative one ("//host/...") takes https, the others are resolved
// as a browser would (dot segments removed). Empty when neither gives an
// absolute URL.
std::string ResolveLink(std::string_view page, std::string_view link);

// The host of a URL with an authority ("scheme://[user@]host[:port]/..."),
// lower-cased, without port or trailing dots; an IPv6 literal keeps its
// brackets. Empty when there is none.
std::string UrlHost(std::string_view url);

}  // namespace corvane::search
