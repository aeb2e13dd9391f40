#include "demo/page_text.h"

#include "base/ascii.h"

namespace corvane::demo {

std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{' && i + 1 < pattern.size() && pattern[i + 1] == '}' &&
            arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string TitleCase(std::string_view text) {
    std::string out(text);
    bool start = true;
    for (char& c : out) {
        if (start)
            c = base::UpperAscii(c);
        start = c == ' ';
    }
    return out;
}

}  // namespace corvane::demo
