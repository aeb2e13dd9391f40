// The profile files shipped with the program, compiled into it from
// search/profiles/*.ini.
#pragma once

#include <span>
#include <string_view>

namespace corvane::search {

struct BuiltinProfileText {
    std::string_view Name;  // the file's stem ("duckduckgo")
    std::string_view Text;  // the file's bytes
};

// In the order of the build's list of profiles.
std::span<const BuiltinProfileText> BuiltinProfileTexts();

}  // namespace corvane::search
