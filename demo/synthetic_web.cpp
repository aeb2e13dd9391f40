#include "demo/synthetic_web.h"

#include "base/ascii.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <numeric>
#include <stdexcept>

namespace corvane::demo {

namespace {

// Site names are two words joined; every pair is one site. The lists hold
// everyday words only, so the names look like small businesses' domains.
constexpr const char* kFirstWords[] = {
    "amber",   "apex",    "arbor",   "aspen",    "atlas",   "beacon",   "birch",    "blue",
    "bright",  "brook",   "cedar",   "clear",    "cobalt",  "copper",   "coral",    "crest",
    "crystal", "delta",   "eagle",   "echo",     "ember",   "fern",     "firefly",  "fox",
    "garnet",  "golden",  "granite", "harbor",   "hazel",   "heron",    "highland", "indigo",
    "iron",    "ivy",     "juniper", "keystone", "lake",    "lantern",  "laurel",   "maple",
    "meadow",  "mesa",    "midland", "misty",    "north",   "oak",      "orchard",  "otter",
    "pine",    "prairie", "quarry",  "raven",    "red",     "ridge",    "river",    "rocky",
    "sage",    "silver",  "stone",   "summit",   "tide",    "timber",   "valley",   "willow",
    "wind",    "yellow",  "zephyr",  "thistle",  "sparrow", "bluebell",
};
constexpr const char* kSecondWords[] = {
    "works",   "supply",   "outfitters", "studio",   "labs",       "media",   "designs",
    "market",  "depot",    "trading",    "lane",     "hub",        "central", "direct",
    "online",  "guide",    "world",      "zone",     "point",      "source",  "shop",
    "store",   "press",    "review",     "digest",   "garden",     "homes",   "realty",
    "travel",  "tours",    "crafts",     "foods",    "kitchen",    "wear",    "gear",
    "tools",   "parts",    "motors",     "tech",     "forge",      "web",     "data",
    "group",   "partners", "solutions",  "services", "consulting", "health",  "clinic",
    "fitness", "pets",     "books",      "music",    "photo",      "art",     "games",
    "sports",  "outdoors", "farm",       "coffee",   "bakery",     "wines",   "creative",
    "mill",
};

struct Weighted {
    const char* text;
    int weight;
};
constexpr std::array<Weighted, 6> kPrefixes = {{
    {"www.", 64},
    {"", 24},
    {"shop.", 3},
    {"blog.", 3},
    {"en.", 3},
    {"home.", 3},
}};
constexpr std::array<Weighted, 9> kTopLevels = {{
    {"com", 54},
    {"net", 14},
    {"org", 10},
    {"co.uk", 6},
    {"info", 5},
    {"biz", 3},
    {"us", 3},
    {"de", 3},
    {"ca", 2},
}};

template <std::size_t N>
const char* Pick(const std::array<Weighted, N>& table, std::uint64_t h) {
    int total = 0;
    for (const auto& w : table)
        total += w.weight;
    int at = static_cast<int>(h % static_cast<std::uint64_t>(total));
    for (const auto& w : table) {
        if (at < w.weight)
            return w.text;
        at -= w.weight;
    }
    return table[0].text;
}

constexpr std::uint64_t SplitMix(std::uint64_t z) {
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::int64_t Pow10(int digits) {
    std::int64_t v = 1;
    while (digits-- > 0)
        v *= 10;
    return v;
}

// A number of `digits` decimal digits, spread evenly over that decade.
std::int64_t OfDigits(int digits, std::uint64_t h) {
    const std::int64_t lo = digits <= 1 ? 1 : Pow10(digits - 1);
    const std::int64_t hi = Pow10(digits);
    return lo + static_cast<std::int64_t>(h % static_cast<std::uint64_t>(hi - lo));
}

// Large search totals are estimates: three significant digits.
std::int64_t Estimate(std::int64_t v) {
    std::int64_t unit = 1;
    while (v / unit >= 1000)
        unit *= 10;
    return v / unit * unit;
}

std::string Capitalised(std::string_view word) {
    std::string out(word);
    if (!out.empty())
        out[0] = base::UpperAscii(out[0]);
    return out;
}

}  // namespace

SyntheticWeb::SyntheticWeb(std::uint64_t seed) : seed_(seed) {
    const std::uint32_t n =
        static_cast<std::uint32_t>(std::size(kFirstWords) * std::size(kSecondWords));
    hosts_.reserve(n);
    for (std::uint32_t site = 0; site < n; ++site) {
        const std::uint64_t h = Mix("site", "", site);
        const char* first = kFirstWords[site / std::size(kSecondWords)];
        const char* second = kSecondWords[site % std::size(kSecondWords)];
        std::string host = Pick(kPrefixes, h);
        host += first;
        if ((h >> 20) % 10 < 3)
            host += '-';
        host += second;
        host += '.';
        host += Pick(kTopLevels, h >> 32);
        siteOfHost_.emplace(BareDomainOf(host), site);
        hosts_.push_back(std::move(host));
    }
    if (siteOfHost_.size() != hosts_.size()) {
        throw std::logic_error("demo web: two sites share a domain");
    }
}

std::uint32_t SyntheticWeb::SiteCount() const {
    return static_cast<std::uint32_t>(hosts_.size());
}

const std::string& SyntheticWeb::HostOf(std::uint32_t site) const {
    return hosts_.at(site);
}

std::string SyntheticWeb::NameOf(std::uint32_t site) const {
    return Capitalised(kFirstWords[site / std::size(kSecondWords)]) + " " +
           Capitalised(kSecondWords[site % std::size(kSecondWords)]);
}

std::optional<std::uint32_t> SyntheticWeb::SiteOfHost(std::string_view host) const {
    // Sites are keyed by bare domain: the listed host, and the same with or
    // without "www.", all name the site.
    const auto it = siteOfHost_.find(BareDomainOf(HostPart(host)));
    if (it == siteOfHost_.end())
        return std::nullopt;
    return it->second;
}

std::uint64_t SyntheticWeb::Mix(std::string_view purpose, std::string_view text,
                                std::uint64_t n) const {
    // FNV-1a over the purpose, a separator, the text and n, then a finaliser.
    std::uint64_t h = 0xcbf29ce484222325ULL ^ SplitMix(seed_);
    auto feed = [&h](unsigned char c) {
        h ^= c;
        h *= 0x100000001b3ULL;
    };
    for (char c : purpose)
        feed(static_cast<unsigned char>(c));
    feed(0);
    for (char c : text)
        feed(static_cast<unsigned char>(c));
    feed(0);
    for (int i = 0; i < 8; ++i)
        feed(static_cast<unsigned char>(n >> (8 * i)));
    return SplitMix(h);
}

std::uint32_t SyntheticWeb::Permuted(std::string_view purpose, std::string_view key,
                                     std::int64_t index) const {
    // An affine map with a stride prime to the population size is a
    // permutation: the first SiteCount() indexes name distinct sites.
    const std::uint64_t n = SiteCount();
    const std::uint64_t base = Mix(purpose, key, 1) % n;
    std::uint64_t stride = Mix(purpose, key, 2) % n;
    while (stride == 0 || std::gcd(stride, n) != 1)
        stride = (stride + 1) % n;
    const std::uint64_t i = static_cast<std::uint64_t>(index) % n;
    return static_cast<std::uint32_t>((base + (i * stride) % n) % n);
}

std::int64_t SyntheticWeb::KeywordTotal(std::string_view keyword) const {
    const std::string k = NormaliseKeyword(keyword);
    if (k.empty())
        return 0;
    const std::uint64_t h = Mix("keyword-total", k);
    const int digits = 4 + static_cast<int>(h % 5);  // 1,000 .. 99,900,000
    return Estimate(OfDigits(digits, h >> 8));
}

std::int64_t SyntheticWeb::KeywordListable(std::string_view keyword) const {
    return std::min(KeywordTotal(keyword), kMaxListed);
}

std::uint32_t SyntheticWeb::KeywordResult(std::string_view keyword, std::int64_t index) const {
    return Permuted("keyword-results", NormaliseKeyword(keyword), index - 1);
}

std::int64_t SyntheticWeb::InboundTotal(std::string_view target) const {
    const std::string t = NormaliseTarget(target);
    if (t.empty())
        return 0;
    const std::uint64_t h = Mix("inbound", t);
    if (h % 100 < 4)
        return 0;
    static constexpr int kDigits[] = {1, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 7};
    const int digits = kDigits[(h >> 8) % std::size(kDigits)];
    const std::int64_t v = OfDigits(digits, h >> 16);
    return v >= 10000 ? Estimate(v) : v;
}

std::int64_t SyntheticWeb::InboundListable(std::string_view target) const {
    return std::min(InboundTotal(target), kMaxListed);
}

std::uint32_t SyntheticWeb::LinkingSite(std::string_view target, std::int64_t index) const {
    const std::string t = NormaliseTarget(target);
    const std::uint32_t site = Permuted("linking", t, index - 1);
    const auto self = SiteOfHost(HostPart(t));
    // The index past every listable one stands in for the target itself.
    if (self && *self == site)
        return Permuted("linking", t, SiteCount() - 1);
    return site;
}

std::int32_t SyntheticWeb::AbsoluteAnchors(std::string_view host) const {
    const std::uint64_t h = Mix("absolute-anchors", HostPart(host));
    const std::uint64_t kind = h % 100;
    const std::uint64_t r = h >> 8;
    if (kind < 5)
        return 0;
    if (kind < 55)
        return static_cast<std::int32_t>(1 + r % 9);
    if (kind < 85)
        return static_cast<std::int32_t>(10 + r % 30);
    return static_cast<std::int32_t>(40 + r % 50);
}

std::int32_t SyntheticWeb::RelativeAnchors(std::string_view host) const {
    return static_cast<std::int32_t>(6 + Mix("relative-anchors", HostPart(host)) % 30);
}

std::optional<std::int64_t> SyntheticWeb::TrafficRank(std::string_view domain) const {
    const std::string d = BareDomainOf(HostPart(domain));
    if (d.empty())
        return std::nullopt;
    const std::uint64_t h = Mix("traffic-rank", d);
    if (h % 100 < 6)
        return std::nullopt;
    static constexpr int kDigits[] = {3, 4, 4, 5, 5, 5, 6, 6, 6, 7, 7};
    return OfDigits(kDigits[(h >> 8) % std::size(kDigits)], h >> 16);
}

std::string NormaliseKeyword(std::string_view keyword) {
    std::string_view k = keyword;
    if (k.size() >= 2 && k.front() == '"' && k.back() == '"')
        k = k.substr(1, k.size() - 2);
    std::string out;
    bool blank = false;
    for (char c : k) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out += ' ';
        blank = false;
        out += base::LowerAscii(c);
    }
    return out;
}

std::string NormaliseTarget(std::string_view target) {
    std::string t = base::LowerAscii(target);
    if (t.starts_with("http://"))
        t.erase(0, 7);
    while (!t.empty() && t.back() == '/')
        t.pop_back();
    return t;
}

std::string HostPart(std::string_view text) {
    std::string t = base::LowerAscii(text);
    if (t.starts_with("http://"))
        t.erase(0, 7);
    if (const auto slash = t.find('/'); slash != std::string::npos)
        t.resize(slash);
    if (const auto colon = t.rfind(':');
        colon != std::string::npos && t.find(']') == std::string::npos) {
        t.resize(colon);
    }
    return t;
}

std::string BareDomainOf(std::string_view host) {
    std::string h = base::LowerAscii(host);
    if (h.starts_with("www."))
        h.erase(0, 4);
    return h;
}

std::string GroupThousands(std::int64_t value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    const std::size_t lead = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, lead);
    for (std::size_t i = lead; i < digits.size(); i += 3) {
        out += ',';
        out.append(digits, i, 3);
    }
    return value < 0 ? "-" + out : out;
}

}  // namespace corvane::demo
