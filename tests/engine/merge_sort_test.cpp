#include "engine/merge_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane::engine {
namespace {

std::vector<std::string> Words(int n) {
    std::vector<std::string> words;
    for (int i = 0; i < n; ++i) {
        // Long enough that a moved-from string is visibly empty.
        words.push_back("word number " + std::to_string((i * 7) % n) + " of the list");
    }
    return words;
}

// A compare that throws part way, in any pass and at any run of a pass,
// leaves every item exactly once (items that own memory, so that one left
// behind in the scratch buffer would show as an empty string).
TEST(StableMergeSort, AThrowingCompareLosesNothing) {
    const std::vector<std::string> original = Words(37);
    std::vector<std::string> sorted = original;
    std::sort(sorted.begin(), sorted.end());
    for (int limit = 0; limit < 200; ++limit) {
        std::vector<std::string> items = original;
        int compares = 0;
        auto compare = [&](const std::string& x, const std::string& y) {
            if (compares++ == limit)
                throw std::runtime_error("compare failed");
            return x.compare(y);
        };
        try {
            StableMergeSort(items, compare);
        } catch (const std::runtime_error&) {
        }
        std::sort(items.begin(), items.end());
        ASSERT_EQ(items, sorted) << "compare failed at " << limit;
    }
}

TEST(StableMergeSort, EqualItemsKeepTheirOrder) {
    std::vector<std::pair<int, int>> items;
    for (int i = 0; i < 50; ++i)
        items.emplace_back(i % 3, i);
    StableMergeSort(items, [](const auto& x, const auto& y) { return x.first - y.first; });
    for (std::size_t i = 1; i < items.size(); ++i) {
        ASSERT_LE(items[i - 1].first, items[i].first);
        if (items[i - 1].first == items[i].first) {
            ASSERT_LT(items[i - 1].second, items[i].second);
        }
    }
}

}  // namespace
}  // namespace corvane::engine
