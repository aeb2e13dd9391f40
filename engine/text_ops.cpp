#include "engine/text_ops.h"

#include <algorithm>
#include <limits>

#include "base/ascii.h"
#include "base/integer_text.h"

namespace corvane::engine {

std::int64_t PosOf(std::string_view pattern, std::string_view text) {
    if (pattern.empty() || text.empty()) {
        return 0;
    }
    const auto p = text.find(pattern);
    return p == std::string_view::npos ? 0 : static_cast<std::int64_t>(p) + 1;
}

std::string_view SliceView(std::string_view text, std::int64_t start, std::int64_t count) {
    const auto length = static_cast<std::int64_t>(text.size());
    if (start < 1) {
        start = 1;
    }
    if (text.empty() || count < 0 || start > length) {
        return {};
    }
    const std::int64_t available = length - start + 1;
    return text.substr(static_cast<std::size_t>(start - 1),
                       static_cast<std::size_t>(std::min(count, available)));
}

std::string Slice(std::string_view text, std::int64_t start, std::int64_t count) {
    return std::string(SliceView(text, start, count));
}

std::string_view RestFrom(std::string_view text, std::int64_t start) {
    return SliceView(text, start, static_cast<std::int64_t>(text.size()));
}

std::string ReplaceAllText(std::string_view text, std::string_view pattern,
                           std::string_view replacement) {
    std::string result(text);
    if (pattern.empty()) {
        return result;
    }
    const std::string lowPattern = base::LowerAscii(pattern);
    std::string lowered = base::LowerAscii(text);
    const std::size_t n = lowPattern.size();
    const std::string lowReplacement = base::LowerAscii(replacement);
    // Each replacement restarts the search at the front of the whole text.
    // Nothing before the previous hit held the pattern, so a new first
    // occurrence can begin at most n - 1 bytes before that hit: searching
    // from there gives the same result without rescanning the front.
    std::size_t from = 0;
    for (;;) {
        const std::size_t p = lowered.find(lowPattern, from);
        if (p == std::string::npos) {
            return result;
        }
        result.replace(p, n, replacement);
        lowered.replace(p, n, lowReplacement);
        from = p >= n - 1 ? p - (n - 1) : 0;
    }
}

std::string StripNumberSeparators(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != ',' && c != '.' && c != ' ') {
            out.push_back(c);
        }
    }
    return out;
}

std::string StripTagMarks(std::string_view text) {
    std::string out = base::LowerAscii(text);
    for (std::string_view mark : {"</i", "</b", "</", "<", ">"}) {
        const auto p = out.find(mark);
        if (p != std::string::npos) {
            out.erase(p, mark.size());
        }
    }
    return out;
}

std::string HostFromUrl(std::string_view text) {
    std::string low = base::LowerAscii(text);
    std::string_view v = low;
    if (const auto p = PosOf("http://", v); p > 0) {
        v = RestFrom(v, p + 7);
    }
    if (const auto q = PosOf("/", v); q > 0) {
        v = SliceView(v, 1, q - 1);
    }
    return std::string(v);
}

std::string BareDomain(std::string_view text) {
    const std::string host = HostFromUrl(text);
    if (const auto p = PosOf("www.", host); p > 0) {
        return std::string(RestFrom(host, p + 4));
    }
    return host;
}

bool TryFigureToInt(std::string_view text, std::int32_t& value) {
    // A figure is a number in its own right: hexadecimal figures must fit the
    // signed range as well, so "$FFFFFFFF" is no figure (unlike an address
    // part, see the socket stack's integer rule).
    return base::TryReadInt32(text, value);
}

}  // namespace corvane::engine
