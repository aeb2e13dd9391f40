#include "cli/table_output.h"

#include <algorithm>
#include <array>

namespace corvane::cli {

using engine::kColumnCount;

namespace {

// Display width of a byte string: UTF-8 continuation bytes take no column,
// control bytes are shown as one replacement each.
std::size_t Width(std::string_view s) {
    std::size_t w = 0;
    for (const char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80)
            ++w;
    }
    return w;
}

}  // namespace

std::string Printable(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            c = '?';
    }
    return out;
}

void WriteTextTable(std::ostream& out, const engine::ResultsTable& table,
                    const char* const* captions) {
    std::array<std::size_t, kColumnCount> width{};
    auto widthOf = [&width](int c) -> std::size_t& { return width[static_cast<std::size_t>(c)]; };
    for (int c = 0; c < kColumnCount; ++c)
        widthOf(c) = Width(captions[c]);
    for (std::size_t r = 0; r < table.Count(); ++r) {
        for (int c = 0; c < kColumnCount; ++c) {
            widthOf(c) = std::max(widthOf(c), Width(table.Row(r).Column(c)));
        }
    }
    auto line = [&](auto cellOf) {
        std::string text;
        for (int c = 0; c < kColumnCount; ++c) {
            const std::string cell = Printable(cellOf(c));
            const std::string pad(widthOf(c) - Width(cell), ' ');
            if (c > 0)
                text += "  ";
            // Captions and host names read from the left, figures from the right.
            text += (c == 0) ? cell + pad : pad + cell;
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out << text << '\n';
    };
    line([captions](int c) { return std::string(captions[c]); });
    line([&](int c) { return std::string(widthOf(c), '-'); });
    for (std::size_t r = 0; r < table.Count(); ++r) {
        line([&](int c) { return table.Row(r).Column(c); });
    }
}

std::string CsvField(std::string_view text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) {
        return std::string(text);
    }
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + '"';
}

void WriteCsv(std::ostream& out, const engine::ResultsTable& table, const char* const* captions) {
    auto record = [&](auto cellOf) {
        for (int c = 0; c < kColumnCount; ++c) {
            if (c > 0)
                out << ',';
            out << CsvField(cellOf(c));
        }
        out << "\r\n";
    };
    record([captions](int c) { return std::string(captions[c]); });
    for (std::size_t r = 0; r < table.Count(); ++r) {
        record([&](int c) { return table.Row(r).Column(c); });
    }
}

}  // namespace corvane::cli
