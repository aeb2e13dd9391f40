#include "platform/profile_reader.h"

#include "platform/ascii_case.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvane::platform {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::uint32_t HashFold(std::string_view s) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (char c : s) {
        h ^= static_cast<unsigned char>(FoldAscii(c));
        h *= 16777619u;
    }
    // Final mix, so that the low bits the index uses depend on every byte.
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

// Walks the lines of a text: LF, CR LF and a lone CR each end a line. The
// next LF and the next CR are searched for with memchr and remembered, so
// that a walk over the whole text reads each byte a bounded number of times
// however its line ends are mixed.
class LineWalker {
public:
    explicit LineWalker(std::string_view text, std::size_t from = 0) : text_(text), pos_(from) {}

    // The next line without its line end; false at the end of the text.
    // `start` and `next` are the offsets of the line and of what follows it.
    bool Next(std::string_view& line, std::size_t& start, std::size_t& next) {
        const std::size_t n = text_.size();
        if (pos_ >= n) return false;
        start = pos_;
        if (!lfKnown_ || lf_ < pos_) {
            lf_ = std::min(text_.find('\n', pos_), n);
            lfKnown_ = true;
        }
        if (!crKnown_ || cr_ < pos_) {
            cr_ = std::min(text_.find('\r', pos_), n);
            crKnown_ = true;
        }
        std::size_t e = std::min(lf_, cr_);
        line = text_.substr(start, e - start);
        if (e < n) {
            e += (text_[e] == '\r' && e + 1 < n && text_[e + 1] == '\n') ? 2u : 1u;
        }
        pos_ = next = e;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_;
    std::size_t lf_ = 0;
    std::size_t cr_ = 0;
    bool lfKnown_ = false;
    bool crKnown_ = false;
};

std::string Unquote(std::string_view value, std::size_t limit) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, std::min(value.size(), limit)));
}

}  // namespace

std::optional<std::string> ProfileFile::Section::Value(std::string_view key,
                                                       std::size_t limit) const {
    key = Trim(key);
    LineWalker lines(body_);
    std::string_view line;
    std::size_t start = 0;
    std::size_t next = 0;
    while (lines.Next(line, start, next)) {
        line = Trim(line);
        if (line.empty() || line.front() == ';') continue;
        const std::size_t eq = line.find('=');
        const std::string_view name = eq == std::string_view::npos ? line : Trim(line.substr(0, eq));
        if (!EqualFold(name, key)) continue;
        if (eq == std::string_view::npos) return std::nullopt;
        return Unquote(Trim(line.substr(eq + 1)), limit);
    }
    return std::nullopt;
}

void ProfileFile::Clear() {
    text_.clear();
    text_.shrink_to_fit();
    headerCount_ = 0;
    sections_.clear();
    sections_.shrink_to_fit();
    listNames_.clear();
    listNames_.shrink_to_fit();
    slots_.clear();
    slots_.shrink_to_fit();
}

bool ProfileFile::Load(const std::string& path, std::error_code* error) {
    Clear();
    auto fail = [&](std::error_code code) {
        if (error) *error = code;
        return false;
    };
    // Non-blocking, so that opening a pipe with no writer does not hang; a
    // regular file reads the same either way.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return fail(std::error_code(errno, std::generic_category()));
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        return fail(std::error_code(errno, std::generic_category()));
    }
    if (S_ISDIR(st.st_mode)) {
        return fail(std::make_error_code(std::errc::is_a_directory));
    }
    if (!S_ISREG(st.st_mode)) {
        return fail(std::make_error_code(std::errc::invalid_argument));
    }
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > kProfileFileLimit) {
        return fail(std::make_error_code(std::errc::file_too_large));
    }

    // One byte more than the file's size, so that the end is seen at once
    // and a file that grows meanwhile is still read to its end (or refused).
    std::string text;
    text.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) {
            text.resize(std::min(text.size() * 2, kProfileFileLimit + 1));
        }
        const ssize_t got = ::read(fd, text.data() + used, text.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            return fail(std::error_code(errno, std::generic_category()));
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
        if (used > kProfileFileLimit) {
            return fail(std::make_error_code(std::errc::file_too_large));
        }
    }
    text.resize(used);
    Parse(std::move(text));
    if (error) error->clear();
    return true;
}

void ProfileFile::Parse(std::string text) {
    Clear();
    if (text.size() > kProfileFileLimit) {
        text.resize(kProfileFileLimit);
    }
    text_ = std::move(text);
    const std::string_view all(text_);
    slots_.assign(16, kNoSection);

    std::size_t from = 0;
    if (all.substr(0, 3) == "\xEF\xBB\xBF") {
        from = 3;
    }
    // The section whose body the lines now belong to, when it can be read.
    constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t open = kNone;
    std::size_t listBytes = 0;
    LineWalker lines(all, from);
    std::string_view line;
    std::size_t start = 0;
    std::size_t next = 0;
    while (lines.Next(line, start, next)) {
        const std::string_view trimmed = Trim(line);
        if (trimmed.empty() || trimmed.front() != '[') continue;
        const std::size_t close = trimmed.rfind(']');
        if (close == std::string_view::npos) continue;
        const std::string_view name = Trim(trimmed.substr(1, close - 1));
        const auto offset = static_cast<std::uint32_t>(name.data() - all.data());
        const auto length = static_cast<std::uint32_t>(name.size());
        if (open != kNone) {
            SectionEntry& e = sections_[open];
            e.bodyLength = static_cast<std::uint32_t>(start - e.bodyOffset);
            open = kNone;
        }
        ++headerCount_;
        // In the list a name ends at a zero byte, and an empty one is left out.
        const std::string_view listed = name.substr(0, std::min(name.size(), name.find('\0')));
        if (!listed.empty() && listBytes < kSectionNamesBufferBytes) {
            listNames_.push_back(NameEntry{offset, static_cast<std::uint32_t>(listed.size())});
            listBytes += listed.size() + 1;
        }
        const std::size_t slot = SlotOf(name);
        if (slots_[slot] != kNoSection) {
            continue;  // a later section of a name already known
        }
        slots_[slot] = static_cast<std::uint32_t>(sections_.size());
        sections_.push_back(SectionEntry{offset, length, static_cast<std::uint32_t>(next), 0});
        open = sections_.size() - 1;
        if (sections_.size() * 2 > slots_.size()) {
            GrowIndex();
        }
    }
    if (open != kNone) {
        SectionEntry& e = sections_[open];
        e.bodyLength = static_cast<std::uint32_t>(all.size() - e.bodyOffset);
    }
}

std::string_view ProfileFile::NameOf(const SectionEntry& e) const {
    return std::string_view(text_).substr(e.nameOffset, e.nameLength);
}

std::size_t ProfileFile::SlotOf(std::string_view name) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = HashFold(name) & mask;
    while (slots_[slot] != kNoSection && !EqualFold(NameOf(sections_[slots_[slot]]), name)) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

void ProfileFile::GrowIndex() {
    slots_.assign(slots_.size() * 2, kNoSection);
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        slots_[SlotOf(NameOf(sections_[i]))] = static_cast<std::uint32_t>(i);
    }
}

std::vector<std::string_view> ProfileFile::SectionNames(std::size_t bufferBytes) const {
    std::vector<std::string_view> names;
    bufferBytes = std::min(bufferBytes, kSectionNamesBufferBytes);
    if (bufferBytes < 2) {
        return names;
    }
    // One byte stays reserved for the zero byte that ends the list.
    std::size_t room = bufferBytes - 1;
    for (const NameEntry& e : listNames_) {
        const std::string_view name = std::string_view(text_).substr(e.offset, e.length);
        if (name.size() + 1 >= room) {
            // The last name that meets the end of the buffer is cut to fit.
            if (room > 1) names.push_back(name.substr(0, room - 1));
            break;
        }
        names.push_back(name);
        room -= name.size() + 1;
    }
    return names;
}

std::optional<ProfileFile::Section> ProfileFile::FindSection(std::string_view name) const {
    if (sections_.empty()) {
        return std::nullopt;
    }
    const std::uint32_t held = slots_[SlotOf(Trim(name))];
    if (held == kNoSection) {
        return std::nullopt;
    }
    const SectionEntry& e = sections_[held];
    return Section(NameOf(e), std::string_view(text_).substr(e.bodyOffset, e.bodyLength));
}

std::optional<std::string> ProfileFile::ReadValue(std::string_view section, std::string_view key,
                                                  std::size_t limit) const {
    const std::optional<Section> s = FindSection(section);
    if (!s) {
        return std::nullopt;
    }
    return s->Value(key, limit);
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback, std::size_t limit) const {
    std::optional<std::string> value = ReadValue(section, key, limit);
    return value ? std::move(*value) : std::string(fallback);
}

}  // namespace corvane::platform
