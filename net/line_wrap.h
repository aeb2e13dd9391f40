// Folding a long header line: where to insert line breaks so that no line
// grows past a given width. A pure function on byte strings, used by the
// header list when it stores a value; touches nothing but its arguments.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::net {

// One pass over `line` that copies it and inserts `breakText` where a line
// would grow past `maxCol` columns. Breaks go after one of `breakChars`, never
// inside a double-quoted stretch; an occurrence of `breakText` already in the
// line (ignoring case) starts a new line count. Nothing is removed: the
// result is `line` with zero or more copies of `breakText` inserted.
std::string WrapAtBreaks(std::string_view line, std::string_view breakText,
                         std::string_view breakChars, std::int32_t maxCol);

}  // namespace corvane::net
