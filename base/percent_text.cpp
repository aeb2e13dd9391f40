#include "base/percent_text.h"

#include "base/ascii.h"
#include "base/integer_text.h"

namespace corvane::base {

std::string PercentEncode(std::string_view text, bool spaceAsPlus, bool lowerHex) {
    const char* hex = lowerHex ? "0123456789abcdef" : "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        if (IsLetterOrDigit(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += c;
        } else if (c == ' ' && spaceAsPlus) {
            out += '+';
        } else {
            const auto b = static_cast<unsigned char>(c);
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        }
    }
    return out;
}

std::string PercentDecode(std::string_view text, bool plusIsBlank) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 &&
            HexDigitValue(text[i + 2]) >= 0) {
            out += static_cast<char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsBlank) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace corvane::base
