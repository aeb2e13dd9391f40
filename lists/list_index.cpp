#include "lists/list_index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <utility>

#include "base/ascii.h"

namespace corvane::lists {

namespace {

constexpr char kMagic[8] = {'C', 'V', 'R', 'A', 'N', 'K', 'I', 'X'};
constexpr std::uint32_t kByteOrderMark = 0x01020304u;
constexpr std::uint32_t kVersion = 1;

struct Header {
    char Magic[8];
    std::uint32_t ByteOrder;
    std::uint32_t Version;
    std::uint32_t Kind;
    std::uint32_t RecordSize;
    std::uint64_t Count;
    std::uint64_t PoolSize;
    std::uint64_t Checksum;     // of records and pool
    std::uint64_t HeaderCheck;  // of the bytes above
    std::uint64_t Reserved;
};
static_assert(sizeof(Header) == kIndexHeaderSize);
constexpr std::size_t kHeaderCheckedBytes = offsetof(Header, HeaderCheck);

std::uint64_t Load64(const unsigned char* p) noexcept {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint32_t Load32(const unsigned char* p) noexcept {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint64_t Mix(std::uint64_t h) noexcept {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

[[noreturn]] void Damaged(const std::string& name, const std::string& why) {
    throw ListError(name + " is not a usable rank list index (" + why +
                    "); run \"corvane-cli lists update\" or import the list again");
}

// An index read in place from bytes that it keeps alive: a mapped file or
// a buffer of its own.
class ViewIndex : public RankIndex {
  public:
    ViewIndex(std::unique_ptr<MappedFile> mapped, std::string bytes, const std::string& name)
        : mapped_(std::move(mapped)), bytes_(std::move(bytes)) {
        const std::string_view view = mapped_ ? mapped_->View() : std::string_view(bytes_);
        const auto* data = reinterpret_cast<const unsigned char*>(view.data());
        const std::size_t size = view.size();
        if (size < kIndexHeaderSize)
            Damaged(name, size == 0 ? "empty" : "cut short");
        Header h;
        std::memcpy(&h, data, sizeof h);
        if (std::memcmp(h.Magic, kMagic, sizeof kMagic) != 0)
            Damaged(name, "not an index file");
        if (h.ByteOrder != kByteOrderMark)
            Damaged(name, "written by a machine of another byte order");
        if (h.Version != kVersion)
            Damaged(name, "index version " + std::to_string(h.Version) + ", this program reads " +
                              std::to_string(kVersion));
        if (h.HeaderCheck != BlockChecksum(data, kHeaderCheckedBytes))
            Damaged(name, "damaged header");
        if (h.Kind > 1 || h.RecordSize != kIndexRecordSize)
            Damaged(name, "damaged header");
        const std::uint64_t room = size - kIndexHeaderSize;
        if (h.Count > room / kIndexRecordSize || h.PoolSize > room - h.Count * kIndexRecordSize)
            Damaged(name, "cut short");
        if (h.Count * kIndexRecordSize + h.PoolSize != room || h.PoolSize > UINT32_MAX)
            Damaged(name, "wrong size");
        if (h.Checksum != BlockChecksum(data + kIndexHeaderSize, size - kIndexHeaderSize))
            Damaged(name, "checksum mismatch");
        kind_ = h.Kind == 0 ? ListKind::Tranco : ListKind::Majestic;
        count_ = static_cast<std::size_t>(h.Count);
        records_ = data + kIndexHeaderSize;
        pool_ = records_ + count_ * kIndexRecordSize;
        poolSize_ = static_cast<std::size_t>(h.PoolSize);
    }

    ListKind Kind() const override { return kind_; }
    std::size_t Size() const override { return count_; }

    std::optional<std::int64_t> Find(std::string_view domain) const override {
        while (!domain.empty() && domain.back() == '.')
            domain.remove_suffix(1);
        if (domain.empty() || domain.size() > kMaxDomainLength)
            return std::nullopt;
        std::array<char, kMaxDomainLength> buffer;
        for (std::size_t i = 0; i < domain.size(); ++i)
            buffer[i] = base::LowerAscii(domain[i]);
        const std::string_view key(buffer.data(), domain.size());
        const std::uint64_t hash = DomainHash(key);
        std::size_t low = 0, high = count_;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (HashAt(mid) < hash)
                low = mid + 1;
            else
                high = mid;
        }
        for (std::size_t i = low; i < count_ && HashAt(i) == hash; ++i) {
            const unsigned char* record = records_ + i * kIndexRecordSize;
            const std::size_t offset = Load32(record + 8);
            // A record pointing outside the pool matches nothing.
            if (offset >= poolSize_ || static_cast<std::size_t>(pool_[offset]) != key.size() ||
                poolSize_ - offset - 1 < key.size())
                continue;
            if (std::memcmp(pool_ + offset + 1, key.data(), key.size()) == 0)
                return static_cast<std::int64_t>(Load32(record + 12));
        }
        return std::nullopt;
    }

  private:
    std::uint64_t HashAt(std::size_t i) const noexcept {
        return Load64(records_ + i * kIndexRecordSize);
    }

    std::unique_ptr<MappedFile> mapped_;
    std::string bytes_;
    ListKind kind_ = ListKind::Tranco;
    std::size_t count_ = 0;
    const unsigned char* records_ = nullptr;
    const unsigned char* pool_ = nullptr;
    std::size_t poolSize_ = 0;
};

}  // namespace

std::uint64_t DomainHash(std::string_view domain) noexcept {
    // FNV-1a, then a final mix so that close names spread over the range.
    std::uint64_t h = 0xcbf29ce484222325ULL;
    for (char c : domain) {
        h ^= static_cast<unsigned char>(c);
        h *= 0x100000001b3ULL;
    }
    return Mix(h);
}

std::uint64_t BlockChecksum(const unsigned char* data, std::size_t size) noexcept {
    // Four independent lanes over 8-byte words keep the multiplier busy.
    constexpr std::uint64_t kMul = 0x9E3779B97F4A7C15ULL;
    std::uint64_t lanes[4] = {0x243F6A8885A308D3ULL, 0x13198A2E03707344ULL, 0xA4093822299F31D0ULL,
                              0x082EFA98EC4E6C89ULL};
    std::size_t i = 0;
    for (; i + 32 <= size; i += 32) {
        for (std::size_t k = 0; k < 4; ++k) {
            std::uint64_t v = lanes[k] ^ Load64(data + i + 8 * k);
            v *= kMul;
            lanes[k] = v ^ (v >> 29);
        }
    }
    std::uint64_t h = Mix(lanes[0]);
    for (std::size_t k = 1; k < 4; ++k)
        h = Mix(h ^ lanes[k]);
    for (; i + 8 <= size; i += 8)
        h = Mix(h ^ Load64(data + i));
    if (i < size) {
        std::uint64_t last = 0;
        std::memcpy(&last, data + i, size - i);
        h = Mix(h ^ last);
    }
    return Mix(h ^ size);
}

void IndexBuilder::Reserve(std::size_t rows, std::size_t poolBytes) {
    entries_.reserve(rows);
    pool_.reserve(poolBytes);
}

void IndexBuilder::Add(std::string_view domain, std::uint32_t value) {
    const auto offset = static_cast<std::uint32_t>(pool_.size());
    pool_ += static_cast<char>(domain.size());
    for (char c : domain)
        pool_ += base::LowerAscii(c);
    const std::string_view stored(pool_.data() + offset + 1, domain.size());
    entries_.push_back({DomainHash(stored), offset, value});
}

std::string IndexBuilder::Finish(ListKind kind, std::size_t& kept) {
    // Equal hashes keep the list's order (the offsets grow with it), so the
    // first of a domain's entries is the one kept.
    std::sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
        return a.Hash != b.Hash ? a.Hash < b.Hash : a.Offset < b.Offset;
    });
    const auto nameAt = [this](std::uint32_t offset) {
        return std::string_view(pool_.data() + offset + 1,
                                static_cast<unsigned char>(pool_[offset]));
    };
    std::size_t out = 0;
    for (std::size_t i = 0; i < entries_.size();) {
        std::size_t end = i + 1;
        while (end < entries_.size() && entries_[end].Hash == entries_[i].Hash)
            ++end;
        // Within one hash: each distinct name once, at its first place.
        const std::size_t runStart = out;
        for (std::size_t j = i; j < end; ++j) {
            bool seen = false;
            for (std::size_t k = runStart; k < out && !seen; ++k)
                seen = nameAt(entries_[k].Offset) == nameAt(entries_[j].Offset);
            if (!seen)
                entries_[out++] = entries_[j];
        }
        i = end;
    }
    entries_.resize(out);
    kept = out;

    const std::size_t recordBytes = out * kIndexRecordSize;
    std::string bytes(kIndexHeaderSize + recordBytes + pool_.size(), '\0');
    auto* base = reinterpret_cast<unsigned char*>(bytes.data());
    unsigned char* record = base + kIndexHeaderSize;
    for (const Entry& e : entries_) {
        std::memcpy(record, &e.Hash, 8);
        std::memcpy(record + 8, &e.Offset, 4);
        std::memcpy(record + 12, &e.Value, 4);
        record += kIndexRecordSize;
    }
    std::memcpy(record, pool_.data(), pool_.size());

    Header h{};
    std::memcpy(h.Magic, kMagic, sizeof kMagic);
    h.ByteOrder = kByteOrderMark;
    h.Version = kVersion;
    h.Kind = kind == ListKind::Tranco ? 0 : 1;
    h.RecordSize = kIndexRecordSize;
    h.Count = out;
    h.PoolSize = pool_.size();
    h.Checksum = BlockChecksum(base + kIndexHeaderSize, bytes.size() - kIndexHeaderSize);
    std::memcpy(base, &h, sizeof h);
    h.HeaderCheck = BlockChecksum(base, kHeaderCheckedBytes);
    std::memcpy(base, &h, sizeof h);

    entries_.clear();
    entries_.shrink_to_fit();
    pool_.clear();
    pool_.shrink_to_fit();
    return bytes;
}

std::unique_ptr<RankIndex> OpenIndexBytes(std::string bytes, const std::string& name) {
    return std::make_unique<ViewIndex>(nullptr, std::move(bytes), name);
}

std::unique_ptr<RankIndex> RankIndex::Open(const std::string& indexPath) {
    return std::make_unique<ViewIndex>(std::make_unique<MappedFile>(indexPath), std::string(),
                                       indexPath);
}

MappedFile::MappedFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw ListError("cannot read " + path + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        throw ListError("cannot read " + path + ": " +
                        (S_ISDIR(st.st_mode) ? "it is a folder"
                         : err != 0          ? std::strerror(err)
                                             : "not a file"));
    }
    modifiedAt_ = static_cast<std::int64_t>(st.st_mtime);
    size_ = static_cast<std::size_t>(st.st_size);
    if (size_ > 0) {
        void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped == MAP_FAILED) {
            const int err = errno;
            ::close(fd);
            throw ListError("cannot read " + path + ": " + std::strerror(err));
        }
        data_ = static_cast<const char*>(mapped);
    }
    ::close(fd);
}

MappedFile::~MappedFile() {
    if (data_ != nullptr)
        ::munmap(const_cast<char*>(data_), size_);
}

}  // namespace corvane::lists
