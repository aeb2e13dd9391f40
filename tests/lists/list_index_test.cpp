// The index file: written and mapped back, every domain found by its hash
// and name, and a damaged or truncated file refused before any look-up.
#include "lists/list_index.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/lists/list_samples.h"

namespace corvane::lists {
namespace {

using ::testing::HasSubstr;
using testing::lists::ListsTempDir;
using testing::lists::ReadBytes;
using testing::lists::WriteBytes;

std::string SmallIndex() {
    IndexBuilder builder;
    builder.Add("Alpha.example", 10);
    builder.Add("beta.example", 20);
    builder.Add("alpha.example", 30);  // the first entry of a name stays
    std::size_t kept = 0;
    std::string bytes = builder.Finish(ListKind::Majestic, kept);
    EXPECT_EQ(kept, 2u);
    return bytes;
}

std::string OpenError(const std::string& path) {
    try {
        RankIndex::Open(path);
    } catch (const ListError& e) {
        return e.what();
    }
    return "(opened)";
}

TEST(ListIndex, WrittenAndMappedBackEveryDomainIsFound) {
    const ListsTempDir dir;
    IndexBuilder builder;
    constexpr std::uint32_t kRows = 20000;
    for (std::uint32_t i = 0; i < kRows; ++i)
        builder.Add("host" + std::to_string(i) + ".example", i + 1);
    std::size_t kept = 0;
    WriteBytes(dir / "t.idx", builder.Finish(ListKind::Tranco, kept));
    EXPECT_EQ(builder.Added(), 0u);

    const std::unique_ptr<RankIndex> index = RankIndex::Open(dir / "t.idx");
    EXPECT_EQ(index->Kind(), ListKind::Tranco);
    ASSERT_EQ(index->Size(), kRows);
    for (std::uint32_t i = 0; i < kRows; ++i)
        ASSERT_EQ(index->Find("host" + std::to_string(i) + ".example"), i + 1) << i;
    EXPECT_EQ(index->Find("host20000.example"), std::nullopt);
    EXPECT_EQ(index->Find("host1.exampl"), std::nullopt);
    EXPECT_EQ(index->Find(std::string(300, 'a')), std::nullopt);

    // An empty list is an index like any other.
    IndexBuilder none;
    const auto empty = OpenIndexBytes(none.Finish(ListKind::Tranco, kept), "empty");
    EXPECT_EQ(empty->Size(), 0u);
    EXPECT_EQ(empty->Find("a.example"), std::nullopt);
}

TEST(ListIndex, DamagedOrTruncatedIndexesAreRefused) {
    const ListsTempDir dir;
    const std::string good = SmallIndex();
    WriteBytes(dir / "good.idx", good);
    const auto index = RankIndex::Open(dir / "good.idx");
    EXPECT_EQ(index->Kind(), ListKind::Majestic);
    EXPECT_EQ(index->Find("alpha.example"), 10);
    EXPECT_EQ(index->Find("beta.example"), 20);

    // Every shorter prefix, and every single damaged byte (but the unused
    // end of the header), is refused.
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        WriteBytes(dir / "cut.idx", good.substr(0, cut));
        EXPECT_THAT(OpenError(dir / "cut.idx"), HasSubstr("not a usable rank list index")) << cut;
    }
    for (std::size_t at = 0; at < good.size(); ++at) {
        if (at >= 56 && at < kIndexHeaderSize)
            continue;
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x20);
        WriteBytes(dir / "bad.idx", bad);
        EXPECT_THAT(OpenError(dir / "bad.idx"), HasSubstr("not a usable rank list index")) << at;
    }
    WriteBytes(dir / "long.idx", good + "x");
    EXPECT_THAT(OpenError(dir / "long.idx"), HasSubstr("wrong size"));
    WriteBytes(dir / "csv.idx",
               "1,google.com\n2,facebook.com\n3,example.com\n4,a.example\n"
               "5,b.example\n6,c.example\n");
    EXPECT_THAT(OpenError(dir / "csv.idx"), HasSubstr("not an index file"));

    EXPECT_THAT(OpenError(dir / "missing.idx"), HasSubstr("cannot read"));
    EXPECT_THAT(OpenError(dir.Path()), HasSubstr("folder"));
    EXPECT_THROW(OpenIndexBytes(good.substr(0, 70), "memory"), ListError);
}

}  // namespace
}  // namespace corvane::lists
