// A stable bottom-up merge sort that is sound for any compare: one that
// answers inconsistently, or at random, still ends after n log n compares
// and leaves a permutation of the items, since every pass moves each item
// exactly once from one buffer to the other.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "base/scope_guard.h"

namespace corvane::engine {

// Sorts `items` by `compare` (a value below 0: the first argument goes
// first). Equal items keep their order. If the compare throws, `items` is
// left holding every item once, in an unspecified order.
template <typename T, typename Compare>
void StableMergeSort(std::vector<T>& items, Compare&& compare) {
    const std::size_t n = items.size();
    if (n < 2) {
        return;
    }
    std::vector<T> scratch(n);
    for (std::size_t width = 1; width < n; width *= 2) {
        for (std::size_t lo = 0; lo < n; lo += 2 * width) {
            const std::size_t mid = std::min(lo + width, n);
            const std::size_t hi = std::min(lo + 2 * width, n);
            std::size_t a = lo, b = mid, out = lo;
            {
                // Should the compare throw, the merge is finished unordered
                // and everything this pass has moved so far (the runs before
                // this one too) is put back, so that nothing is lost.
                const base::OnUnwind finishUnordered([&] {
                    while (a < mid)
                        scratch[out++] = std::move(items[a++]);
                    while (b < hi)
                        scratch[out++] = std::move(items[b++]);
                    std::move(scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(hi),
                              items.begin());
                });
                while (a < mid && b < hi) {
                    // Take from the right run only when it must go strictly first.
                    if (compare(items[b], items[a]) < 0) {
                        scratch[out++] = std::move(items[b++]);
                    } else {
                        scratch[out++] = std::move(items[a++]);
                    }
                }
            }
            while (a < mid)
                scratch[out++] = std::move(items[a++]);
            while (b < hi)
                scratch[out++] = std::move(items[b++]);
        }
        items.swap(scratch);
    }
}

}  // namespace corvane::engine
