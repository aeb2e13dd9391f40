// The header block of one HTTP message: an ordered list of raw text lines
// with lookup by header name.
//
// A line's name is its text before the first ":" (empty when it has none);
// its value is the text after that ":". A continuation line is a non-empty
// line that begins with a space or a tab; it belongs to the header above it.
// The list is a plain one: not sorted, duplicates allowed, and lookups find
// the first line with a name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::net {

struct TNetHeaderListSettings {
    // Written between name and value when a header is stored. For reading,
    // the separator without its trailing blanks (":") ends the name.
    std::string Separator = ": ";
    // When false, NameOfLine upper-cases the name (lookups ignore case
    // either way).
    bool MatchCase = false;
    // When true, a value includes the continuation lines after its line.
    bool JoinContinuations = true;
    // When true, storing a header removes its old continuation lines and
    // folds the new line at about FoldWidth columns.
    bool FoldOnStore = true;
    std::int32_t FoldWidth = 78;
};

class TNetHeaderList {
  public:
    TNetHeaderList() = default;
    explicit TNetHeaderList(TNetHeaderListSettings settings);

    // Settings, fixed at construction.
    const std::string& Separator() const { return settings_.Separator; }
    bool MatchCase() const { return settings_.MatchCase; }
    bool JoinContinuations() const { return settings_.JoinContinuations; }
    bool FoldOnStore() const { return settings_.FoldOnStore; }
    std::int32_t FoldWidth() const { return settings_.FoldWidth; }

    // The plain list. Indexes are 0-based; an index outside the list raises
    // std::out_of_range (Insert accepts Count() too).
    int Count() const { return static_cast<int>(lines_.size()); }
    bool Empty() const { return lines_.empty(); }
    const std::string& operator[](int index) const;
    const std::vector<std::string>& Lines() const { return lines_; }
    int Add(std::string line);  // returns the new line's index
    void Insert(int index, std::string line);
    void Replace(int index, std::string line);
    void Delete(int index);
    void Clear() { lines_.clear(); }
    // Copies or appends the lines of another list; the settings stay.
    void Assign(const TNetHeaderList& other);
    void AddLines(const TNetHeaderList& other);

    // The name of line `index`, upper-cased (ASCII) unless MatchCase.
    std::string NameOfLine(int index) const;
    // The value of line `index` with its continuations joined and leading
    // blanks removed; empty for an index outside the list and for a line
    // without a name separator.
    std::string ValueOfLine(int index) const;
    // The first line whose name equals `name` ignoring case; -1 when none.
    int FindName(std::string_view name) const;
    std::string ValueOf(std::string_view name) const;
    // Sets or replaces the first header called `name`; an empty value
    // removes it (with its continuations when FoldOnStore). Later lines with
    // the same name stay.
    void StoreValue(std::string_view name, std::string_view value);
    // Deletes the continuation lines right after line `index`.
    void DropContinuations(int index);
    // Puts the folded lines of `text` in place of line `index`.
    void ReplaceWithFolded(std::string_view text, int index);
    // `text` cut into lines of about FoldWidth columns at blanks outside
    // double quotes. Every line after the first is a continuation line: a
    // line break already in the text cannot start a header of its own or an
    // empty line (which would end the header block).
    std::vector<std::string> FoldText(std::string_view text) const;

  private:
    static bool IsContinuation(const std::string& line);
    std::size_t CheckedIndex(int index) const;
    // Length of the name of `line`, or npos when it has no name separator.
    std::size_t NameLength(std::string_view line) const;

    TNetHeaderListSettings settings_;
    std::string readSeparator_ = ":";
    std::vector<std::string> lines_;
};

}  // namespace corvane::net
