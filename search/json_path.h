// Paths into a JSON answer: names apart by ".", each name followed by any
// number of "[]" (every element of an array): "results[].url",
// "data.items[].link", "[].url" (the answer itself is an array).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::search {

struct JsonPathStep {
    std::string Name;  // empty: the value reached so far itself
    int Arrays = 0;    // "[]" after the name
};

// The steps of a path; false, with the fault in words, for a path that is
// not one.
bool ParseJsonPath(std::string_view path, std::vector<JsonPathStep>& steps, std::string& problem);

}  // namespace corvane::search
