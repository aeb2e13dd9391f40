// The look-ups of a survey's rank lists and the registrable domain of a
// host.
#include "lists/rank_lists.h"

#include <idn2.h>
#include <libpsl.h>

#include <algorithm>
#include <ctime>
#include <utility>

#include "base/ascii.h"
#include "platform/user_paths.h"

namespace corvane::lists {

namespace {

constexpr std::int64_t kStaleAfterSeconds = 30 * 24 * 60 * 60;

// A host in Unicode as the lists write it: its IDNA form (xn--), by the
// rules browsers use, falling back to the older ones; empty when it has
// none.
std::string AsciiHost(const std::string& host) {
    for (int flags : {IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL, IDN2_NFC_INPUT | IDN2_TRANSITIONAL}) {
        char* out = nullptr;
        if (idn2_to_ascii_8z(host.c_str(), &out, flags) == IDN2_OK && out != nullptr) {
            std::string ascii = out;
            idn2_free(out);
            return base::LowerAscii(ascii);
        }
        idn2_free(out);
    }
    return {};
}

// The host as a list key: lower-cased, without a trailing dot, in ASCII.
std::string KeyOf(std::string_view host) {
    std::string key = base::LowerAscii(host);
    while (!key.empty() && key.back() == '.')
        key.pop_back();
    const bool ascii = std::all_of(key.begin(), key.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii && key.find('\0') == std::string::npos)
        key = AsciiHost(key);
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
    return SlotOf(kind).Index != nullptr;
}

std::optional<std::int64_t> RankLists::TrafficRank(std::string_view host) const {
    return FindHostOrDomain(tranco_.Index.get(), host);
}

std::optional<std::int64_t> RankLists::RefSubNets(std::string_view host) const {
    return FindHostOrDomain(majestic_.Index.get(), host);
}

void RankLists::Set(ListKind kind, std::shared_ptr<const RankIndex> index, std::int64_t listTime) {
    Slot& slot = SlotOf(kind);
    slot.Index = std::move(index);
    slot.ListTime = listTime;
    slot.Problem.clear();
}

std::int64_t DaysBetween(std::int64_t from, std::int64_t now) {
    return now > from ? (now - from) / (24 * 60 * 60) : 0;
}

std::vector<std::string> RankLists::Warnings() const {
    std::vector<std::string> warnings;
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic}) {
        const Slot& slot = SlotOf(kind);
        const std::string name = ListKindName(kind);
        if (!slot.Problem.empty())
            warnings.push_back("the " + name + " list cannot be used: " + slot.Problem);
        else if (slot.Index == nullptr)
            warnings.push_back("the " + name +
                               " list is missing; run \"corvane-cli lists update\" or import one");
        else if (slot.ListTime > 0 && now - slot.ListTime > kStaleAfterSeconds)
            warnings.push_back("the " + name + " list is " +
                               std::to_string(DaysBetween(slot.ListTime, now)) +
                               " days old; run \"corvane-cli lists update\"");
    }
    return warnings;
}

}  // namespace corvane::lists
