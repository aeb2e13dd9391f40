// Small text tools the demo web's pages are written with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace corvane::demo {

// One entry of a list, chosen by a mixed value.
template <std::size_t N>
const char* Pick(const char* const (&list)[N], std::uint64_t h) {
    return list[h % N];
}

// Replaces each "{}" of a pattern by the next argument, in order; a "{}"
// without an argument left stays as it is.
std::string Fill(std::string_view pattern, std::initializer_list<std::string_view> args);

// The text with the first letter of each blank-separated word in capitals.
std::string TitleCase(std::string_view text);

}  // namespace corvane::demo
