// The one-pass line folding of net/line_wrap.h.
#include "net/line_wrap.h"

#include <array>

#include "net/text_tokens.h"

namespace corvane::net {

std::string WrapAtBreaks(std::string_view line, std::string_view breakText,
                         std::string_view breakChars, std::int32_t maxCol) {
    std::array<bool, 256> isBreakChar{};
    for (char c : breakChars) {
        isBreakChar[static_cast<unsigned char>(c)] = true;
    }
    auto breakCharAt = [&](char c) { return isBreakChar[static_cast<unsigned char>(c)]; };

    // Positions are 1-based: line[pos - 1] is the byte at pos.
    const auto length = static_cast<std::int64_t>(line.size());
    const auto breakLength = static_cast<std::int64_t>(breakText.size());
    std::int64_t col = 1;
    std::int64_t pos = 1;
    std::int64_t lineStart = 1;
    std::int64_t breakPos = 0;
    bool inQuote = false;
    bool existingBreak = false;
    std::string result;
    result.reserve(line.size());

    while (pos <= length) {
        const char c = line[static_cast<std::size_t>(pos - 1)];
        if (IsLeadByte(c)) {
            // Together with the step below, both bytes pass as one column.
            ++pos;
            ++col;
        } else if (!breakText.empty() && c == breakText.front()) {
            if (!inQuote) {
                existingBreak = SameTextLocale(
                    line.substr(static_cast<std::size_t>(pos - 1), breakText.size()), breakText);
                if (existingBreak) {
                    pos += breakLength - 1;
                    breakPos = pos;
                }
            }
        } else if (breakCharAt(c)) {
            if (!inQuote) {
                breakPos = pos;
            }
        } else if (c == '"') {
            inQuote = !inQuote;
        }
        ++pos;
        ++col;

        if (!inQuote && (existingBreak || (col > maxCol && breakPos > lineStart))) {
            col = pos - breakPos;
            result.append(line.substr(static_cast<std::size_t>(lineStart - 1),
                                      static_cast<std::size_t>(breakPos - lineStart + 1)));
            // The scan skips the blanks and line ends after the break; they
            // are still copied, at the start of the next piece.
            if (c != '"') {
                while (pos <= length) {
                    const char n = line[static_cast<std::size_t>(pos - 1)];
                    if (!breakCharAt(n) && n != '\r' && n != '\n') {
                        break;
                    }
                    ++pos;
                }
            }
            if (!existingBreak && pos < length) {
                result.append(breakText);
            }
            ++breakPos;
            lineStart = breakPos;
            existingBreak = false;
        }
    }
    if (lineStart <= length) {
        result.append(line.substr(static_cast<std::size_t>(lineStart - 1)));
    }
    return result;
}

}  // namespace corvane::net
