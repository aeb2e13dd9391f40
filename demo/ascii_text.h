// ASCII case folding for host names and markers; other bytes stay as they are.
#pragma once

#include <string>
#include <string_view>

namespace corvane::demo {

inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string LowerText(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = Lower(c);
    return out;
}

}  // namespace corvane::demo
