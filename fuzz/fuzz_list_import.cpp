// Reads arbitrary bytes as a published rank list (CSV or zip, in memory)
// and as an index file. A list either is refused with a ListError or gives
// an index in which every row it kept is found again; an index either is
// refused or answers look-ups without reading outside its bytes.
// fuzz-libs: corvane_lists
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "lists/list_index.h"
#include "lists/list_parse.h"

using namespace corvane;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

void ReadAsList(std::string_view content) {
    lists::ParsedList parsed;
    try {
        parsed = lists::ParseList(content);
    } catch (const lists::ListError&) {
        return;  // refused: the expected end for most inputs
    }
    const std::size_t added = parsed.Rows.Added();
    Check(added > 0);
    std::size_t kept = 0;
    std::string bytes = parsed.Rows.Finish(parsed.Kind, kept);
    Check(kept > 0 && kept <= added);
    // The index it writes is one the reader takes, with every domain in it.
    const auto index = lists::OpenIndexBytes(bytes, "fuzz");
    Check(index->Kind() == parsed.Kind && index->Size() == kept);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t pool = lists::kIndexHeaderSize + kept * lists::kIndexRecordSize;
    for (std::size_t i = 0; i < kept && i < 64; ++i) {
        std::uint32_t offset = 0;
        std::memcpy(&offset, data + lists::kIndexHeaderSize + i * lists::kIndexRecordSize + 8, 4);
        const std::size_t length = data[pool + offset];
        const std::string_view domain(bytes.data() + pool + offset + 1, length);
        Check(index->Find(domain).has_value());
    }
}

void ReadAsIndex(std::string_view content) {
    try {
        const auto index = lists::OpenIndexBytes(std::string(content), "fuzz");
        (void)index->Find("example.com");
        (void)index->Find(content.substr(0, 40));
    } catch (const lists::ListError&) {
        // refused
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    ReadAsList(content);
    ReadAsIndex(content);
    return 0;
}
