// A reader of profile (INI) files with the semantics that survey files were
// written against: the classic private-profile string reads.
//
// The file is read and indexed once; every read after that is a look-up in
// memory. The rules, in the order a line meets them:
//
// - Lines end at LF, CR LF or a lone CR; a missing final line end is fine.
//   A UTF-8 byte-order mark at the very start of the file is skipped (it
//   would otherwise hide the first section). Other text is bytes: no code
//   page is assumed and NUL bytes are ordinary bytes of a value.
// - Blanks (space, tab, VT, FF) around a line are dropped; blank lines are
//   skipped.
// - A line that starts with "[" and holds a "]" is a section header; the
//   name is what lies between the "[" and the last "]", without surrounding
//   blanks; text after that "]" is ignored. A "[" line without "]" is not a
//   header.
// - A line whose first character is ";" is a comment. "#" is not special.
// - Any other line is a key line: the name is the text before the first
//   "=", the value the text after it, both without surrounding blanks. A
//   line without "=" is a key without a value, which reads as missing.
// - Lines before the first section header belong to no section.
// - Section and key names are matched without regard to ASCII case; the
//   name asked for is taken without surrounding blanks too.
// - Duplicates: the first section of a name is the one read, and within it
//   the first line of a key (with or without "="). Every section header
//   counts in the list of section names, duplicates included.
// - A value enclosed in one pair of matching quotation marks (" or ') is
//   read without them; then it is cut to the value limit (2047 bytes).
// - The list of section names is delivered as a buffer of 16384 bytes would
//   hold it, each name followed by a zero byte: names that do not fit are
//   dropped, the last one may be cut short, a name holding a zero byte ends
//   there, and empty names are not listed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace corvane::platform {

// Longest value a read returns, in bytes.
inline constexpr std::size_t kProfileValueLimit = 2047;
// Size of the buffer the list of section names is delivered in.
inline constexpr std::size_t kSectionNamesBufferBytes = 16384;
// Larger files are not read at all (far beyond any profile this program
// writes; it also keeps every offset within 32 bits).
inline constexpr std::size_t kProfileFileLimit = std::size_t{1} << 30;

class ProfileFile {
  public:
    // One section of a loaded file. It looks into the ProfileFile's text and
    // is valid while that ProfileFile is alive and unchanged.
    class Section {
      public:
        std::string_view Name() const { return name_; }
        // The value of `key`, or nothing when the section has no such key or
        // its first line for the key has no "=".
        std::optional<std::string> Value(std::string_view key,
                                         std::size_t limit = kProfileValueLimit) const;

      private:
        friend class ProfileFile;
        Section(std::string_view name, std::string_view body) : name_(name), body_(body) {}
        std::string_view name_;
        std::string_view body_;
    };

    // Reads and indexes the file. Returns false, leaving the profile empty,
    // when it cannot be read: missing, not a regular file (a folder, a pipe,
    // a device), larger than kProfileFileLimit, or a read error. `error`, when
    // given, receives the reason.
    [[nodiscard]] bool Load(const std::string& path, std::error_code* error = nullptr);
    // Indexes text held in memory; only its first kProfileFileLimit bytes
    // are used.
    void Parse(std::string text);
    void Clear();

    // Number of section headers, duplicates and empty names included.
    std::size_t SectionCount() const { return headerCount_; }
    // The section names as a buffer of `bufferBytes` bytes holds them (a
    // larger buffer counts as kSectionNamesBufferBytes).
    std::vector<std::string_view> SectionNames(
        std::size_t bufferBytes = kSectionNamesBufferBytes) const;

    // The first section named `name`, if any.
    std::optional<Section> FindSection(std::string_view name) const;
    // The value of `key` in section `section`, or nothing when either is
    // missing.
    std::optional<std::string> ReadValue(std::string_view section, std::string_view key,
                                         std::size_t limit = kProfileValueLimit) const;
    // ReadValue, with `fallback` when there is nothing to read.
    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view fallback = {},
                           std::size_t limit = kProfileValueLimit) const;

  private:
    struct SectionEntry {
        std::uint32_t nameOffset;
        std::uint32_t nameLength;
        std::uint32_t bodyOffset;
        std::uint32_t bodyLength;
    };
    struct NameEntry {
        std::uint32_t offset;
        std::uint32_t length;
    };
    std::string_view NameOf(const SectionEntry& e) const;
    // The slot of `name` in the index: the one holding its section, or the
    // free one where it would go.
    std::size_t SlotOf(std::string_view name) const;
    void GrowIndex();

    std::string text_;
    std::size_t headerCount_ = 0;
    // The first section of each distinct name (ASCII case folded), in file
    // order. Later sections of a name cannot be read, so only their count is
    // kept: memory follows the distinct names, not the headers.
    std::vector<SectionEntry> sections_;
    // The names of the headers, in file order, as far as the largest list
    // of names can reach.
    std::vector<NameEntry> listNames_;
    // Open-addressing hash index over sections_; kNoSection marks a free
    // slot. Never more than half full.
    static constexpr std::uint32_t kNoSection = 0xFFFFFFFFu;
    std::vector<std::uint32_t> slots_;
};

}  // namespace corvane::platform
