#include "net/header_list.h"

#include <stdexcept>

#include "base/ascii.h"
#include "net/line_wrap.h"
#include "net/text_tokens.h"

namespace corvane::net {
namespace {

bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

}  // namespace

TNetHeaderList::TNetHeaderList(TNetHeaderListSettings settings)
    : settings_(std::move(settings)), readSeparator_(base::TrimRightBlanks(settings_.Separator)) {}

bool TNetHeaderList::IsContinuation(const std::string& line) {
    return !line.empty() && IsSpaceOrTab(line.front());
}

std::size_t TNetHeaderList::CheckedIndex(int index) const {
    if (index < 0 || index >= Count()) {
        throw std::out_of_range("List index out of bounds (" + std::to_string(index) + ")");
    }
    return static_cast<std::size_t>(index);
}

std::size_t TNetHeaderList::NameLength(std::string_view line) const {
    // An empty reading separator (a Separator of blanks only) ends no name.
    return readSeparator_.empty() ? std::string_view::npos : line.find(readSeparator_);
}

const std::string& TNetHeaderList::operator[](int index) const {
    return lines_[CheckedIndex(index)];
}

int TNetHeaderList::Add(std::string line) {
    lines_.push_back(std::move(line));
    return Count() - 1;
}

void TNetHeaderList::Insert(int index, std::string line) {
    if (index != Count()) {
        CheckedIndex(index);
    }
    lines_.insert(lines_.begin() + index, std::move(line));
}

void TNetHeaderList::Replace(int index, std::string line) {
    lines_[CheckedIndex(index)] = std::move(line);
}

void TNetHeaderList::Delete(int index) {
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(CheckedIndex(index)));
}

void TNetHeaderList::Assign(const TNetHeaderList& other) {
    if (&other != this) {
        lines_ = other.lines_;
    }
}

void TNetHeaderList::AddLines(const TNetHeaderList& other) {
    if (&other == this) {
        const std::vector<std::string> copy = lines_;
        lines_.insert(lines_.end(), copy.begin(), copy.end());
    } else {
        lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
    }
}

std::string TNetHeaderList::NameOfLine(int index) const {
    const std::string& line = lines_[CheckedIndex(index)];
    const std::size_t length = NameLength(line);
    if (length == std::string::npos) {
        return {};
    }
    std::string name = line.substr(0, length);
    if (!settings_.MatchCase) {
        base::UpperAsciiInPlace(name);
    }
    return name;
}

std::string TNetHeaderList::ValueOfLine(int index) const {
    if (index < 0 || index >= Count()) {
        return {};
    }
    const auto i = static_cast<std::size_t>(index);
    const std::string& line = lines_[i];
    std::string value;
    // A line without a separator has no value of its own (only the text
    // after the separator is a value; the name is empty then).
    const std::size_t length = NameLength(line);
    if (length != std::string::npos) {
        value = line.substr(length + readSeparator_.size());
    }
    if (settings_.JoinContinuations) {
        for (std::size_t j = i + 1; j < lines_.size() && IsContinuation(lines_[j]); ++j) {
            if (!value.empty() && !IsSpaceOrTab(value.back())) {
                value += ' ';
            }
            value += base::TrimLeftBlanks(lines_[j]);
        }
    }
    return std::string(base::TrimLeftBlanks(value));
}

int TNetHeaderList::FindName(std::string_view name) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const std::string_view line = lines_[i];
        const std::size_t length = NameLength(line);
        const std::string_view lineName =
            length == std::string_view::npos ? std::string_view() : line.substr(0, length);
        // NameOfLine's upper-casing does not matter to a comparison that
        // ignores case.
        if (SameTextLocale(lineName, name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::string TNetHeaderList::ValueOf(std::string_view name) const {
    return ValueOfLine(FindName(name));
}

void TNetHeaderList::StoreValue(std::string_view name, std::string_view value) {
    int i = FindName(name);
    if (!value.empty()) {
        std::string line;
        line.reserve(name.size() + settings_.Separator.size() + value.size());
        line.append(name).append(settings_.Separator).append(value);
        if (i < 0) {
            i = Add(std::string());
        }
        if (settings_.FoldOnStore) {
            DropContinuations(i);
            ReplaceWithFolded(line, i);
        } else {
            Replace(i, std::move(line));
        }
    } else if (i >= 0) {
        if (settings_.FoldOnStore) {
            DropContinuations(i);
        }
        Delete(i);
    }
}

void TNetHeaderList::DropContinuations(int index) {
    if (index < 0 || index >= Count()) {
        return;
    }
    const auto first = static_cast<std::size_t>(index) + 1;
    std::size_t end = first;
    while (end < lines_.size() && IsContinuation(lines_[end])) {
        ++end;
    }
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(first),
                 lines_.begin() + static_cast<std::ptrdiff_t>(end));
}

void TNetHeaderList::ReplaceWithFolded(std::string_view text, int index) {
    const std::size_t i = CheckedIndex(index);
    std::vector<std::string> pieces = FoldText(text);
    if (pieces.empty()) {
        lines_[i].clear();  // an empty text folds to nothing: the line is emptied
        return;
    }
    lines_[i] = std::move(pieces.back());
    pieces.pop_back();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(i),
                  std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end()));
}

std::vector<std::string> TNetHeaderList::FoldText(std::string_view text) const {
    const std::string wrapped = WrapAtBreaks(text, "\r\n ", "\t ", settings_.FoldWidth);
    const std::string_view w = wrapped;
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start < w.size()) {
        const std::size_t end = w.find("\r\n", start);
        const std::string_view piece = base::TrimRightBlanks(
            w.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        start = end == std::string_view::npos ? w.size() : end + 2;
        if (pieces.empty()) {
            pieces.emplace_back(piece);
        } else if (!piece.empty()) {
            // A break inserted by the wrap is followed by a space already; a
            // line end that was in the text gets one, so that what follows
            // stays part of this header.
            std::string& line = pieces.emplace_back();
            if (!IsSpaceOrTab(piece.front())) {
                line.reserve(piece.size() + 1);
                line += ' ';
            }
            line += piece;
        }
    }
    return pieces;
}

}  // namespace corvane::net
