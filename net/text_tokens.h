// Text operations of the URI split, the header lists and the HTTP exchange:
// cutting tokens, searching backwards, comparing names ignoring case, and
// the code page's lead bytes. Pure functions on byte strings; positions are
// 1-based, 0 meaning "not found". Touches nothing but its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::net {

// True when `c` opens a double-byte character of the system code page. The
// code page of this platform has no double-byte characters, so this is
// always false; the scans that must step over such characters still ask it,
// so that they stay correct should that ever change.
bool IsLeadByte(char c);

// Cuts `input` at the first occurrence of `delimiter` and returns the text
// before it. With `remove`, `input` loses that text and the delimiter. When
// the delimiter does not occur (an empty delimiter occurs nowhere), the whole
// input is returned and, with `remove`, `input` becomes empty.
std::string TakeToken(std::string& input, std::string_view delimiter, bool remove = true);

// Position of the last occurrence of `pattern` in `text` that starts at or
// before `start` (-1: anywhere), compared with SameTextLocale; 0 when there
// is none. An empty pattern occurs nowhere.
std::int64_t LastPos(std::string_view pattern, std::string_view text, std::int64_t start = -1);

// Equality of two texts ignoring case. Only ASCII letters are folded; every
// other byte must match exactly. Header names and URI parts are ASCII by
// their nature, and a comparison that does not depend on the process locale
// (which a GUI toolkit changes at start-up, and under which e.g. a Turkish
// "I" does not fold to "i") matches names the same way in every front end.
bool SameTextLocale(std::string_view a, std::string_view b);

}  // namespace corvane::net
