// Rank lists: the Tranco top-sites list (traffic rank) and the Majestic
// Million (referring subnets, an inbound-link measure), imported once into a
// compact sorted index and memory-mapped for look-ups.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::lists {

// A file that is not a rank list at all, or an index that cannot be read;
// the message is meant for the user.
class ListError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ListKind { Tranco, Majestic };
// "tranco", "majestic"
const char* ListKindName(ListKind kind);

// $XDG_DATA_HOME/corvane/lists
std::string DefaultListsFolder();

// The registrable domain of a host by the public suffix list
// ("www.shop.example.co.uk" -> "example.co.uk"); empty when the host has
// none (a bare suffix, an address).
std::string RegistrableDomain(std::string_view host);

// One imported list, memory-mapped. Keys are lower-cased domains in ASCII
// (an IDN domain in its xn-- form, as the lists publish them).
class RankIndex {
  public:
    // Throws ListError for a missing or damaged index.
    static std::unique_ptr<RankIndex> Open(const std::string& indexPath);
    virtual ~RankIndex() = default;
    virtual ListKind Kind() const = 0;
    virtual std::size_t Size() const = 0;
    // The list's value for exactly this domain (ASCII case ignored, a final
    // dot dropped): the rank (Tranco) or the RefSubNets figure (Majestic).
    virtual std::optional<std::int64_t> Find(std::string_view domain) const = 0;
};

struct ImportReport {
    ListKind Kind = ListKind::Tranco;
    std::size_t Rows = 0;        // entries kept
    std::size_t Skipped = 0;     // malformed lines skipped
    std::size_t Duplicates = 0;  // later entries of a domain listed before
    // The time the list's figures date from (Unix time): the date of the
    // file in a zip, else the date of the file or download, else the import.
    std::int64_t ListTime = 0;
};

// Builds the index of a list from its content (a CSV text, or a zip holding
// one, the kind recognised from the content) and writes it atomically to
// `indexPath`. Throws ListError for content that is not a list.
ImportReport BuildIndex(std::string_view content, const std::string& indexPath);

// Where a list lives in a lists folder, and what is known about it.
struct ListStatus {
    ListKind Kind = ListKind::Tranco;
    bool Present = false;
    std::string IndexPath;
    std::size_t Rows = 0;
    std::int64_t ImportedAt = 0;  // Unix time
    std::string ListDate;         // the list's own date, when known
    std::string ListId;           // Tranco's permanent list ID, when known
    std::string Origin;           // URL or file it came from
    std::size_t Skipped = 0;      // malformed lines skipped at import
    // The time the figures date from (Unix time): the list's own date when
    // known, else the import's; what a list's age is counted from.
    std::int64_t ListTime = 0;
    // Why an index that is there cannot be used (damaged, another version);
    // Present is then false.
    std::string Problem;
};
ListStatus StatusOf(const std::string& folder, ListKind kind);
// Whole days from `from` to `now` (Unix times), never negative.
std::int64_t DaysBetween(std::int64_t from, std::int64_t now);

// An index held in memory over a list's content (a list for one run), which
// must be of `kind`; `listTime` receives the list's own date (0: unknown).
// Throws ListError, naming `name`, for content that is not such a list.
std::unique_ptr<RankIndex> IndexContent(std::string_view content, ListKind kind,
                                        const std::string& name, std::int64_t& listTime);

// Imports FILE (csv or zip) into `folder`, replacing that kind's list
// atomically, and records where it came from.
ImportReport ImportFile(const std::string& file, const std::string& folder);
// The same for content at hand (a download), with its origin and list ID.
ImportReport ImportContent(std::string_view content, const std::string& folder,
                           const std::string& origin, const std::string& listId = {});

// Both lists of a survey, looked up by host: the host itself first, then its
// registrable domain. A list that is missing answers nothing. A host in
// Unicode (UTF-8) is looked up in its IDNA (xn--) form.
class RankLists {
  public:
    RankLists() = default;
    // Opens what `folder` holds; the optional files (--tranco, --majestic)
    // replace that kind's list for this run (imported to a temporary index).
    // Throws ListError for a file that is not a list.
    static RankLists Open(const std::string& folder, const std::string& trancoFile = {},
                          const std::string& majesticFile = {});

    bool Has(ListKind kind) const;
    std::optional<std::int64_t> TrafficRank(std::string_view host) const;
    std::optional<std::int64_t> RefSubNets(std::string_view host) const;
    // Warnings for a list that is missing, cannot be used or is older than
    // 30 days, in words, one per list; empty when both are fine.
    std::vector<std::string> Warnings() const;

    // `listTime`: the time the list's figures date from (its own date, else
    // when it was imported), which its age is counted from; 0: unknown.
    void Set(ListKind kind, std::shared_ptr<const RankIndex> index, std::int64_t listTime);

  private:
    struct Slot {
        std::shared_ptr<const RankIndex> Index;
        std::int64_t ListTime = 0;
        // Why a list that is there could not be opened; said instead of
        // "missing".
        std::string Problem;
    };
    Slot& SlotOf(ListKind kind) { return kind == ListKind::Tranco ? tranco_ : majestic_; }
    const Slot& SlotOf(ListKind kind) const {
        return kind == ListKind::Tranco ? tranco_ : majestic_;
    }

    Slot tranco_, majestic_;
};

}  // namespace corvane::lists
