// The synthetic web behind corvane-demo-web: a fixed population of invented
// sites and every figure the demo services report about them.
//
// Everything here is a pure function of the seed and its arguments, computed
// with integer arithmetic only, so that the same survey gives the same table
// on every machine and in every build. Figures about a host or query follow
// from its text, not from any state: a site reports the same inbound count
// whether it is met in a keyword listing, a link: listing or asked for alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane::demo {

// The seed of the demo web that corvane-demo-web and the --demo front ends use.
inline constexpr std::uint64_t kDemoSeed = 0x636f7276616e6531ULL;

// Listings never go past this many entries, however large the total.
inline constexpr std::int64_t kMaxListed = 1000;

class SyntheticWeb {
  public:
    explicit SyntheticWeb(std::uint64_t seed = kDemoSeed);

    // The population: sites are numbered 0 .. SiteCount() - 1.
    std::uint32_t SiteCount() const;
    const std::string& HostOf(std::uint32_t site) const;
    // Display name, e.g. "Amber Outfitters".
    std::string NameOf(std::uint32_t site) const;
    // The site of a host text (any case, "www." or not as listed), if it is
    // one of the population.
    std::optional<std::uint32_t> SiteOfHost(std::string_view host) const;

    // Keyword search. `keyword` is normalised first (see NormaliseKeyword).
    // The total the results page states, and the site listed at a 1-based
    // result index; indexes past Listable() name no site.
    std::int64_t KeywordTotal(std::string_view keyword) const;
    std::int64_t KeywordListable(std::string_view keyword) const;
    std::uint32_t KeywordResult(std::string_view keyword, std::int64_t index) const;

    // Inbound links of a link: target (a host, or a URL text; normalised by
    // NormaliseTarget): the total, and the linking site at a 1-based index.
    // A target never lists itself.
    std::int64_t InboundTotal(std::string_view target) const;
    std::int64_t InboundListable(std::string_view target) const;
    std::uint32_t LinkingSite(std::string_view target, std::int64_t index) const;

    // The home page of a host: its absolute and its relative anchors.
    std::int32_t AbsoluteAnchors(std::string_view host) const;
    std::int32_t RelativeAnchors(std::string_view host) const;

    // The traffic rank of a domain ("www." and case do not matter); none for
    // a domain the traffic service has no data on.
    std::optional<std::int64_t> TrafficRank(std::string_view domain) const;

    // A well-mixed 64-bit value for (purpose, text, n); the source of every
    // choice the pages make.
    std::uint64_t Mix(std::string_view purpose, std::string_view text, std::uint64_t n = 0) const;

  private:
    std::uint32_t Permuted(std::string_view purpose, std::string_view key,
                           std::int64_t index) const;

    std::uint64_t seed_;
    std::vector<std::string> hosts_;
    std::unordered_map<std::string, std::uint32_t> siteOfHost_;
};

// Lower-cases ASCII letters, drops one pair of surrounding double quotes and
// collapses runs of blanks, so that "Blue  Widgets" and "blue widgets" are
// one query.
std::string NormaliseKeyword(std::string_view keyword);
// Lower-cased, without a leading "http://" and without a trailing "/".
std::string NormaliseTarget(std::string_view target);
// Lower-cased host part of a host or URL text: without a leading "http://",
// cut before the first "/", without a ":port".
std::string HostPart(std::string_view text);
// The host without a leading "www.".
std::string BareDomainOf(std::string_view host);

// "1234567" as "1,234,567".
std::string GroupThousands(std::int64_t value);

}  // namespace corvane::demo
