#include "search/url_text.h"

#include <vector>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "base/percent_text.h"

namespace corvane::search {

namespace {

bool IsSchemeChar(char c) {
    return base::IsLetterOrDigit(c) || c == '+' || c == '-' || c == '.';
}

// Length of the scheme and its ":" at the start of `url`; 0 without one.
std::size_t SchemeLength(std::string_view url) {
    if (url.empty() || !base::IsLetter(url[0]))
        return 0;
    std::size_t i = 1;
    while (i < url.size() && IsSchemeChar(url[i]))
        ++i;
    return i < url.size() && url[i] == ':' ? i + 1 : 0;
}

// RFC 3986 section 5.2.4: the path without "." and ".." segments.
std::string RemoveDotSegments(std::string_view path) {
    std::vector<std::string_view> out;
    const bool absolute = !path.empty() && path[0] == '/';
    std::size_t pos = absolute ? 1 : 0;
    bool trailingSlash = false;
    while (pos <= path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view seg = path.substr(pos, end - pos);
        const bool last = end == path.size();
        if (seg == ".") {
            trailingSlash = last;
        } else if (seg == "..") {
            if (!out.empty())
                out.pop_back();
            trailingSlash = last;
        } else {
            out.push_back(seg);
            trailingSlash = false;
        }
        pos = end + 1;
    }
    std::string result = absolute ? "/" : "";
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i > 0)
            result += '/';
        result.append(out[i]);
    }
    if (trailingSlash && !result.empty() && result.back() != '/')
        result += '/';
    return result;
}

struct UrlParts {
    std::string_view Origin;  // "scheme://authority"
    std::string_view Path;    // from the first "/" after the authority
    std::string_view Query;   // with its "?"
};

// The parts of an absolute URL with an authority; false for any other text.
bool SplitUrl(std::string_view url, UrlParts& parts) {
    const std::size_t scheme = SchemeLength(url);
    if (scheme == 0 || url.substr(scheme, 2) != "//")
        return false;
    const std::size_t authorityEnd = url.find_first_of("/?#", scheme + 2);
    const std::size_t cut = authorityEnd == std::string_view::npos ? url.size() : authorityEnd;
    parts.Origin = url.substr(0, cut);
    std::string_view rest = url.substr(cut);
    rest = rest.substr(0, rest.find('#'));
    const std::size_t q = rest.find('?');
    parts.Path = rest.substr(0, q);
    parts.Query = q == std::string_view::npos ? std::string_view() : rest.substr(q);
    return true;
}

}  // namespace

bool QueryParameter(std::string_view url, std::string_view name, std::string& value) {
    url = url.substr(0, url.find('#'));
    const std::size_t q = url.find('?');
    if (q == std::string_view::npos || name.empty())
        return false;
    std::string_view query = url.substr(q + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) == name) {
            value = eq == std::string_view::npos ? std::string()
                                                 : base::PercentDecode(pair.substr(eq + 1));
            return true;
        }
        if (amp == std::string_view::npos)
            break;
        query.remove_prefix(amp + 1);
    }
    return false;
}

std::string SchemeOf(std::string_view url) {
    const std::size_t n = SchemeLength(url);
    return n == 0 ? std::string() : base::LowerAscii(url.substr(0, n - 1));
}

std::string ResolveLink(std::string_view page, std::string_view link) {
    if (link.substr(0, 2) == "//")
        return "https:" + std::string(link);
    if (SchemeLength(link) > 0)
        return std::string(link);
    UrlParts base;
    if (!SplitUrl(page, base))
        return std::string();
    std::string origin(base.Origin);
    if (link.empty())
        return origin + std::string(base.Path.empty() ? "/" : base.Path) + std::string(base.Query);
    switch (link[0]) {
        case '#':
            return origin + std::string(base.Path.empty() ? "/" : base.Path) +
                   std::string(base.Query) + std::string(link);
        case '?':
            return origin + std::string(base.Path.empty() ? "/" : base.Path) + std::string(link);
        default:
            break;
    }
    // A path, with its query and fragment kept apart from the dot-segment
    // removal.
    const std::size_t tail = link.find_first_of("?#");
    const std::string_view linkPath = link.substr(0, tail);
    const std::string_view linkTail =
        tail == std::string_view::npos ? std::string_view() : link.substr(tail);
    std::string merged;
    if (linkPath[0] == '/') {
        merged = std::string(linkPath);
    } else {
        const std::string_view dir = base.Path.empty()
                                         ? std::string_view("/")
                                         : base.Path.substr(0, base.Path.rfind('/') + 1);
        merged = std::string(dir) + std::string(linkPath);
    }
    return origin + RemoveDotSegments(merged) + std::string(linkTail);
}

std::string UrlHost(std::string_view url) {
    const std::size_t scheme = SchemeLength(url);
    if (scheme == 0 || url.substr(scheme, 2) != "//")
        return std::string();
    std::string_view authority = url.substr(scheme + 2);
    authority = authority.substr(0, authority.find_first_of("/?#\\"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    std::string_view host;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos)
            return std::string();
        host = authority.substr(0, close + 1);
    } else {
        host = authority.substr(0, authority.find(':'));
        while (!host.empty() && host.back() == '.')
            host.remove_suffix(1);
    }
    return base::LowerAscii(host);
}

}  // namespace corvane::search
