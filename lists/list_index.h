// The index file of a rank list: a header, a sorted array of fixed-size
// records and a pool of domain names, read in place (memory-mapped or held
// in memory) with every offset checked, so that a damaged or truncated file
// is refused with a ListError and never read out of bounds.
//
// Layout, in the byte order of the machine that wrote it (the header says
// which; the file is not meant to travel):
//   header   64 bytes: magic "CVRANKIX", byte-order mark, version, kind,
//            record size, record count, pool size, a checksum of records
//            and pool, and a checksum of the header itself
//   records  count x 16 bytes, sorted by (hash, then the file order of the
//            list): 64-bit hash of the domain, 32-bit pool offset, 32-bit
//            value
//   pool     per domain one length byte and its lower-case bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "lists/rank_lists.h"

namespace corvane::lists {

inline constexpr std::size_t kIndexHeaderSize = 64;
inline constexpr std::size_t kIndexRecordSize = 16;
// Longest domain a list entry may have (the DNS limit without the final dot).
inline constexpr std::size_t kMaxDomainLength = 253;

// The hash the records are sorted by (of the lower-case domain).
std::uint64_t DomainHash(std::string_view domain) noexcept;

// A checksum of a run of bytes, at memory speed.
std::uint64_t BlockChecksum(const unsigned char* data, std::size_t size) noexcept;

// Gathers a list's entries in file order and writes them out as an index.
class IndexBuilder {
  public:
    void Reserve(std::size_t rows, std::size_t poolBytes);
    // `domain` is 1..kMaxDomainLength bytes of ASCII; it is lower-cased
    // here. A domain added before keeps its first value (dropped at Finish).
    void Add(std::string_view domain, std::uint32_t value);
    std::size_t Added() const { return entries_.size(); }

    // The bytes of the index file; `kept` receives the number of distinct
    // domains. The builder is left empty.
    std::string Finish(ListKind kind, std::size_t& kept);

  private:
    struct Entry {
        std::uint64_t Hash;
        std::uint32_t Offset;
        std::uint32_t Value;
    };
    std::vector<Entry> entries_;
    std::string pool_;
};

// An index over bytes held in memory (a list given for one run); the same
// checks as RankIndex::Open.
std::unique_ptr<RankIndex> OpenIndexBytes(std::string bytes, const std::string& name);

// A file mapped read-only into memory, for reading lists and indexes
// without copying them.
class MappedFile {
  public:
    // Throws ListError naming the file when it cannot be opened, is not a
    // regular file or cannot be mapped. An empty file maps to an empty view.
    explicit MappedFile(const std::string& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    std::string_view View() const { return {data_, size_}; }
    // The file's modification time (Unix time).
    std::int64_t ModifiedAt() const { return modifiedAt_; }

  private:
    const char* data_ = nullptr;
    std::size_t size_ = 0;
    std::int64_t modifiedAt_ = 0;
};

}  // namespace corvane::lists
