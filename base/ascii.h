// ASCII character classes and the one case folding of the whole program.
//
// Only the letters "A".."Z" and "a".."z" have a case; every other byte
// (controls, punctuation, bytes from 128 up) is its own lower and upper
// case. Nothing here reads the process locale, so a name compares the same
// in every front end whatever locale a toolkit sets at start-up. Used by
// every layer; depends on nothing but the standard library.
#pragma once

#include <string>
#include <string_view>

namespace corvane::base {

constexpr bool IsDigit(char c) noexcept {
    return c >= '0' && c <= '9';
}
constexpr bool IsLetter(char c) noexcept {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool IsLetterOrDigit(char c) noexcept {
    return IsLetter(c) || IsDigit(c);
}

// The ASCII control bytes: 0 to 31 and 127 (DEL).
constexpr bool IsControl(char c) noexcept {
    return static_cast<unsigned char>(c) < 32 || c == '\x7F';
}

// A blank in the wide sense of the header and date texts: any byte up to 32,
// that is the control bytes and the space.
constexpr bool IsBlankOrControl(char c) noexcept {
    return static_cast<unsigned char>(c) <= 32;
}

constexpr char LowerAscii(char c) noexcept {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
constexpr char UpperAscii(char c) noexcept {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

std::string LowerAscii(std::string_view text);
std::string UpperAscii(std::string_view text);
void LowerAsciiInPlace(std::string& text) noexcept;
void UpperAsciiInPlace(std::string& text) noexcept;

// Equality with "a".."z" taken as "A".."Z"; every other byte must match.
bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept;
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) noexcept;

// Byte order with "a".."z" taken as "A".."Z" and every other byte by its
// unsigned value; the first differing byte decides, and a text that is the
// beginning of the other goes first. (Folding to
// upper case matters for the bytes between "Z" and "a": "_" sorts after
// every letter.) Returns -1, 0 or 1.
int CompareIgnoringCase(std::string_view a, std::string_view b) noexcept;

// True when `text` holds `part` (plain byte search; an empty part is held).
inline bool Contains(std::string_view text, std::string_view part) noexcept {
    return text.find(part) != std::string_view::npos;
}

// `text` without the blanks (IsBlankOrControl) at its start, its end, or both.
std::string_view TrimLeftBlanks(std::string_view text) noexcept;
std::string_view TrimRightBlanks(std::string_view text) noexcept;
std::string_view TrimBlanks(std::string_view text) noexcept;

}  // namespace corvane::base
