// Token, search and name comparison operations of net/text_tokens.h.
#include "net/text_tokens.h"

#include "base/ascii.h"

namespace corvane::net {

bool IsLeadByte(char /*c*/) {
    return false;
}

std::string TakeToken(std::string& input, std::string_view delimiter, bool remove) {
    // No double-byte characters in this code page (see IsLeadByte), so the
    // plain byte search respects them.
    const std::size_t p = delimiter.empty() ? std::string::npos : input.find(delimiter);
    std::string result;
    if (p == std::string::npos) {
        result = input;
        if (remove) {
            input.clear();
        }
    } else {
        result = input.substr(0, p);
        if (remove) {
            input.erase(0, p + delimiter.size());
        }
    }
    return result;
}

std::int64_t LastPos(std::string_view pattern, std::string_view text, std::int64_t start) {
    const auto length = static_cast<std::int64_t>(text.size());
    const auto patternLength = static_cast<std::int64_t>(pattern.size());
    if (patternLength == 0) {
        return 0;
    }
    std::int64_t s = start == -1 ? length : start;
    if (s > length - patternLength + 1) {
        s = length - patternLength + 1;
    }
    for (std::int64_t i = s; i >= 1; --i) {
        if (SameTextLocale(text.substr(static_cast<std::size_t>(i - 1), pattern.size()), pattern)) {
            return i;
        }
    }
    return 0;
}

bool SameTextLocale(std::string_view a, std::string_view b) {
    return base::EqualsIgnoringCase(a, b);
}

}  // namespace corvane::net
