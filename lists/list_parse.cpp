#include "lists/list_parse.h"

#include <zip.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string>

#include "base/ascii.h"
#include "base/integer_text.h"

namespace corvane::lists {

namespace {

// Larger CSV files are not unpacked (a published list is some tens of
// megabytes; this keeps a hostile archive from filling memory).
constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{1} << 30;
// Lines looked at to tell a headerless Tranco list from other text.
constexpr std::size_t kSniffLines = 16;

constexpr bool IsBlank(char c) noexcept {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) noexcept {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"')
        s = s.substr(1, s.size() - 2);
    return s;
}

// The lines of a text: LF or CR LF ends one; a missing final line end is
// fine.
class LineReader {
  public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool Next(std::string_view& line) noexcept {
        if (rest_.empty())
            return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view() : rest_.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        return true;
    }

  private:
    std::string_view rest_;
};

bool IsBlankLine(std::string_view line) noexcept {
    return std::all_of(line.begin(), line.end(), [](char c) { return IsBlank(c); });
}

// The fields of a line up to index `last` (further ones are not split);
// the number of fields seen, at most last + 2 (to tell "more than last + 1").
constexpr std::size_t kMaxColumn = 63;
std::size_t SplitFields(std::string_view line, std::size_t last,
                        std::array<std::string_view, kMaxColumn + 1>& fields) noexcept {
    std::size_t n = 0;
    for (;;) {
        const std::size_t comma = line.find(',');
        if (n <= last)
            fields[n] = line.substr(0, comma);
        ++n;
        if (comma == std::string_view::npos || n > last + 1)
            return n;
        line.remove_prefix(comma + 1);
    }
}

// A list's domain: ASCII letters, digits, "-", "_" and dots, not starting
// with a dot; a final dot is dropped. IDN domains are in their xn-- form.
bool TakeDomain(std::string_view field, std::string_view& domain) noexcept {
    field = Trim(field);
    while (!field.empty() && field.back() == '.')
        field.remove_suffix(1);
    if (field.empty() || field.size() > kMaxDomainLength || field.front() == '.')
        return false;
    for (char c : field) {
        if (!base::IsLetterOrDigit(c) && c != '-' && c != '.' && c != '_')
            return false;
    }
    domain = field;
    return true;
}

bool TakeValue(std::string_view field, std::uint32_t minimum, std::uint32_t& value) noexcept {
    std::uint64_t v = 0;
    if (!base::TryReadDecimalDigits(Trim(field), std::numeric_limits<std::uint32_t>::max(), v) ||
        v < minimum)
        return false;
    value = static_cast<std::uint32_t>(v);
    return true;
}

struct Layout {
    ListKind Kind = ListKind::Tranco;
    std::size_t DomainColumn = 1;
    std::size_t ValueColumn = 0;
    // Headerless Tranco rows have exactly two fields.
    bool ExactlyTwo = true;
};

bool ReadRow(std::string_view line, const Layout& layout, std::string_view& domain,
             std::uint32_t& value) noexcept {
    std::array<std::string_view, kMaxColumn + 1> fields;
    const std::size_t last = std::max(layout.DomainColumn, layout.ValueColumn);
    const std::size_t n = SplitFields(line, last, fields);
    if (n <= last || (layout.ExactlyTwo && n != 2))
        return false;
    return TakeDomain(fields[layout.DomainColumn], domain) &&
           TakeValue(fields[layout.ValueColumn], layout.Kind == ListKind::Tranco ? 1 : 0, value);
}

// A header line: the columns named Domain and RefSubNets (or Rank), in any
// case and order. False when the line names no Domain column.
bool ReadHeader(std::string_view line, Layout& layout) {
    std::array<std::string_view, kMaxColumn + 1> fields;
    const std::size_t n = std::min(SplitFields(line, kMaxColumn, fields), kMaxColumn + 1);
    std::size_t domain = n, subnets = n, rank = n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string name = base::LowerAscii(Trim(fields[i]));
        if (name == "domain" && domain == n)
            domain = i;
        else if (name == "refsubnets" && subnets == n)
            subnets = i;
        else if (name == "rank" && rank == n)
            rank = i;
    }
    if (domain == n)
        return false;
    layout.DomainColumn = domain;
    layout.ExactlyTwo = false;
    if (subnets != n) {
        layout.Kind = ListKind::Majestic;
        layout.ValueColumn = subnets;
    } else if (rank != n) {
        layout.Kind = ListKind::Tranco;
        layout.ValueColumn = rank;
    } else {
        throw ListError(
            "a CSV file with a Domain column but neither a RefSubNets nor a Rank column: not "
            "a rank list");
    }
    return true;
}

// What content that is not a list looks like, for the message.
std::string NotAList(std::string_view text) {
    const std::string_view start = Trim(text.substr(0, 512));
    if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        return "no rows at all: not a rank list";
    if (!start.empty() && start.front() == '<')
        return "an HTML or XML page, not a rank list (a download that went wrong?)";
    if (std::memchr(text.data(), '\0', std::min<std::size_t>(text.size(), 4096)) != nullptr)
        return "binary data, not a rank list";
    return "not a rank list: expected rows \"rank,domain\" or a CSV header naming Domain and "
           "RefSubNets";
}

ParsedList ParseCsv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    ParsedList list;
    Layout layout;
    LineReader lines(text);
    std::string_view line;
    while (lines.Next(line) && IsBlankLine(line)) {
    }
    if (IsBlankLine(line))
        throw ListError(NotAList(text));
    std::string_view body = text;
    if (ReadHeader(line, layout)) {
        body = text.substr(static_cast<std::size_t>(line.data() - text.data()) + line.size());
    } else {
        // No header: most of the first lines must be Tranco rows.
        LineReader sniff(text);
        std::size_t looked = 0, rows = 0;
        std::string_view domain;
        std::uint32_t value = 0;
        while (looked < kSniffLines && sniff.Next(line)) {
            if (IsBlankLine(line))
                continue;
            ++looked;
            rows += ReadRow(line, layout, domain, value) ? 1u : 0u;
        }
        if (rows * 2 <= looked)
            throw ListError(NotAList(text));
    }
    list.Kind = layout.Kind;
    // Tranco rows run about 16 bytes, Majestic rows about 70.
    const std::size_t rowGuess = body.size() / (layout.Kind == ListKind::Tranco ? 14 : 60) + 16;
    list.Rows.Reserve(rowGuess, rowGuess * 16);
    LineReader rows(body);
    std::string_view domain;
    std::uint32_t value = 0;
    while (rows.Next(line)) {
        if (ReadRow(line, layout, domain, value))
            list.Rows.Add(domain, value);
        else if (!IsBlankLine(line))
            ++list.Skipped;
    }
    if (list.Rows.Added() == 0)
        throw ListError(std::string("a ") + ListKindName(layout.Kind) +
                        " list header without a single good row: not a rank list");
    return list;
}

// The CSV file of a zip archive read from memory: the only file in it, or
// the first whose name ends in ".csv".
struct Unpacked {
    std::string Text;
    std::int64_t Time = 0;
};

class ZipArchive {
  public:
    explicit ZipArchive(std::string_view content) {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t* source = zip_source_buffer_create(content.data(), content.size(), 0, &error);
        if (source != nullptr) {
            archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
            if (archive_ == nullptr)
                zip_source_free(source);
        }
        if (archive_ == nullptr) {
            const std::string why = zip_error_strerror(&error);
            zip_error_fini(&error);
            throw ListError("a zip archive that cannot be read (" + why +
                            "): damaged or cut short");
        }
        zip_error_fini(&error);
    }
    ~ZipArchive() { zip_discard(archive_); }
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    Unpacked ReadList() {
        const zip_int64_t count = zip_get_num_entries(archive_, 0);
        zip_uint64_t chosen = 0;
        bool found = false, csv = false;
        for (zip_int64_t i = 0; i < count && !csv; ++i) {
            const char* name = zip_get_name(archive_, static_cast<zip_uint64_t>(i), 0);
            const std::string_view n = name != nullptr ? name : "";
            if (n.empty() || n.back() == '/')
                continue;
            const bool isCsv = n.size() >= 4 && base::LowerAscii(n.substr(n.size() - 4)) == ".csv";
            if (!found || isCsv) {
                chosen = static_cast<zip_uint64_t>(i);
                found = true;
                csv = isCsv;
            }
        }
        if (!found)
            throw ListError("a zip archive without a file in it: not a rank list");
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive_, chosen, 0, &st) != 0)
            throw ListError(std::string("a zip archive that cannot be read (") +
                            zip_strerror(archive_) + ")");
        if ((st.valid & ZIP_STAT_SIZE) != 0 && st.size > kMaxUnpackedBytes)
            throw ListError("a zip archive whose file is larger than 1 GiB: not a rank list");
        Unpacked out;
        if ((st.valid & ZIP_STAT_MTIME) != 0)
            out.Time = static_cast<std::int64_t>(st.mtime);
        zip_file_t* file = zip_fopen_index(archive_, chosen, 0);
        if (file == nullptr)
            throw ListError(std::string("a zip archive whose file cannot be read (") +
                            zip_strerror(archive_) + ")");
        std::string error;
        char buffer[1 << 16];
        for (;;) {
            const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
            if (n < 0) {
                error = zip_file_strerror(file);
                break;
            }
            if (n == 0)
                break;
            if (out.Text.size() + static_cast<std::size_t>(n) > kMaxUnpackedBytes) {
                error = "larger than 1 GiB";
                break;
            }
            out.Text.append(buffer, static_cast<std::size_t>(n));
        }
        zip_fclose(file);
        if (!error.empty())
            throw ListError("a zip archive whose file cannot be unpacked (" + error +
                            "): damaged or cut short");
        return out;
    }

  private:
    zip_t* archive_ = nullptr;
};

}  // namespace

ParsedList ParseList(std::string_view content) {
    if (content.substr(0, 4) == std::string_view("PK\x03\x04", 4) ||
        content.substr(0, 4) == std::string_view("PK\x05\x06", 4)) {
        Unpacked unpacked = ZipArchive(content).ReadList();
        ParsedList list = ParseCsv(unpacked.Text);
        list.ListTime = unpacked.Time;
        return list;
    }
    if (content.substr(0, 2) == "\x1F\x8B")
        throw ListError("a gzip-compressed file: unpack it first (a CSV file or a zip is read)");
    return ParseCsv(content);
}

}  // namespace corvane::lists
