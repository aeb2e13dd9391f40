// Case folding, comparison and trimming of base/ascii.h; pure functions.
#include "base/ascii.h"

#include <algorithm>

namespace corvane::base {

std::string LowerAscii(std::string_view text) {
    std::string out(text);
    LowerAsciiInPlace(out);
    return out;
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    UpperAsciiInPlace(out);
    return out;
}

void LowerAsciiInPlace(std::string& text) noexcept {
    for (char& c : text) {
        c = LowerAscii(c);
    }
}

void UpperAsciiInPlace(std::string& text) noexcept {
    for (char& c : text) {
        c = UpperAscii(c);
    }
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
    return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (UpperAscii(text[i]) != UpperAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}

int CompareIgnoringCase(std::string_view a, std::string_view b) noexcept {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    if (a.size() == b.size()) {
        return 0;
    }
    return a.size() < b.size() ? -1 : 1;
}

std::string_view TrimLeftBlanks(std::string_view text) noexcept {
    std::size_t first = 0;
    while (first < text.size() && IsBlankOrControl(text[first])) {
        ++first;
    }
    return text.substr(first);
}

std::string_view TrimRightBlanks(std::string_view text) noexcept {
    std::size_t last = text.size();
    while (last > 0 && IsBlankOrControl(text[last - 1])) {
        --last;
    }
    return text.substr(0, last);
}

std::string_view TrimBlanks(std::string_view text) noexcept {
    return TrimRightBlanks(TrimLeftBlanks(text));
}

}  // namespace corvane::base
