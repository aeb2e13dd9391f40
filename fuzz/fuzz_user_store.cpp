// The per-user store's file parser with arbitrary bytes as the file. A file
// that parses must hold each key and each value name once (names compare
// without regard to ASCII case), and writing what was read and reading that
// again must give the same keys and the same text.
// fuzz-libs: corvane_platform
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/ascii.h"
#include "platform/user_store.h"

using corvane::platform::UserStore;
using corvane::platform::ValueType;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

bool SameValue(const UserStore::Value& a, const UserStore::Value& b) {
    if (a.Name != b.Name || a.Type != b.Type)
        return false;
    return a.Type == ValueType::String ? a.Text == b.Text : a.Number == b.Number;
}

bool SameKeys(const std::vector<UserStore::Key>& a, const std::vector<UserStore::Key>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].Path != b[k].Path || a[k].Values.size() != b[k].Values.size())
            return false;
        for (std::size_t v = 0; v < a[k].Values.size(); ++v) {
            if (!SameValue(a[k].Values[v], b[k].Values[v]))
                return false;
        }
    }
    return true;
}

void CheckNamesUnique(const std::vector<UserStore::Key>& keys) {
    using corvane::base::EqualsIgnoringCase;
    for (std::size_t k = 0; k < keys.size(); ++k) {
        for (std::size_t j = k + 1; j < keys.size(); ++j)
            Check(!EqualsIgnoringCase(keys[k].Path, keys[j].Path));
        const auto& values = keys[k].Values;
        for (std::size_t v = 0; v < values.size(); ++v) {
            for (std::size_t w = v + 1; w < values.size(); ++w)
                Check(!EqualsIgnoringCase(values[v].Name, values[w].Name));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view contents(reinterpret_cast<const char*>(data), size);
    std::vector<UserStore::Key> keys;
    if (!UserStore::Parse(contents, keys))
        return 0;
    CheckNamesUnique(keys);

    const std::string written = UserStore::Serialize(keys);
    std::vector<UserStore::Key> again;
    Check(UserStore::Parse(written, again));
    Check(SameKeys(keys, again));
    Check(UserStore::Serialize(again) == written);
    return 0;
}
