// The look-ups of a survey's rank lists and the registrable domain of a
// host.
#include "lists/rank_lists.h"

#include <libpsl.h>

#include <ctime>
#include <utility>

#include "base/ascii.h"
#include "platform/user_paths.h"

namespace corvane::lists {

namespace {

constexpr std::int64_t kStaleAfterSeconds = 30 * 24 * 60 * 60;

// The host as a list key: lower-cased, without a trailing dot.
std::string KeyOf(std::string_view host) {
    std::string key = base::LowerAscii(host);
    while (!key.empty() && key.back() == '.')
        key.pop_back();
    return key;
}

std::optional<std::int64_t> FindHostOrDomain(const RankIndex* index, std::string_view host) {
    if (index == nullptr)
        return std::nullopt;
    const std::string key = KeyOf(host);
    if (key.empty())
        return std::nullopt;
    if (auto value = index->Find(key))
        return value;
    const std::string domain = RegistrableDomain(key);
    if (!domain.empty() && domain != key)
        return index->Find(domain);
    return std::nullopt;
}

}  // namespace

const char* ListKindName(ListKind kind) {
    return kind == ListKind::Tranco ? "tranco" : "majestic";
}

std::string DefaultListsFolder() {
    return platform::DataHome() + "/corvane/lists";
}

std::string RegistrableDomain(std::string_view host) {
    // The library's built-in list is read-only data shared by every caller,
    // so the context is safe to use from several threads at once.
    static const psl_ctx_t* const context = psl_builtin();
    const std::string key = KeyOf(host);
    if (context == nullptr || key.empty())
        return {};
    const char* domain = psl_registrable_domain(context, key.c_str());
    return domain != nullptr ? std::string(domain) : std::string();
}

bool RankLists::Has(ListKind kind) const {
    return (kind == ListKind::Tranco ? tranco_ : majestic_) != nullptr;
}

std::optional<std::int64_t> RankLists::TrafficRank(std::string_view host) const {
    return FindHostOrDomain(tranco_.get(), host);
}

std::optional<std::int64_t> RankLists::RefSubNets(std::string_view host) const {
    return FindHostOrDomain(majestic_.get(), host);
}

void RankLists::Set(ListKind kind, std::shared_ptr<const RankIndex> index,
                    std::int64_t importedAt) {
    if (kind == ListKind::Tranco) {
        tranco_ = std::move(index);
        trancoAt_ = importedAt;
    } else {
        majestic_ = std::move(index);
        majesticAt_ = importedAt;
    }
}

std::vector<std::string> RankLists::Warnings() const {
    std::vector<std::string> warnings = warnings_;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    const auto check = [&](ListKind kind, const std::shared_ptr<const RankIndex>& index,
                           std::int64_t at) {
        const std::string name = ListKindName(kind);
        if (index == nullptr)
            warnings.push_back("the " + name +
                               " list is missing; run \"corvane-cli lists update\" or import one");
        else if (at > 0 && now - at > kStaleAfterSeconds)
            warnings.push_back("the " + name + " list is " +
                               std::to_string((now - at) / (24 * 60 * 60)) +
                               " days old; run \"corvane-cli lists update\"");
    };
    check(ListKind::Tranco, tranco_, trancoAt_);
    check(ListKind::Majestic, majestic_, majesticAt_);
    return warnings;
}

}  // namespace corvane::lists
