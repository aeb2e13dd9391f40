// ASCII case folding for names in files (sections, keys, value names): only
// "A".."Z" fold, every other byte compares as itself.
#pragma once

#include <string_view>

namespace corvane::platform {

inline char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

inline bool EqualFold(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

}  // namespace corvane::platform
