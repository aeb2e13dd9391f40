// The demo web's rank lists: a top-sites list of traffic ranks ("rank,domain"
// in a zip, as the research list is published) and an inbound-links list
// (the twelve-column CSV of the link-index list), both over the population's
// registrable domains and both following the synthetic figures, so that a
// survey of today's web reads the same traffic ranks and inbound figures as
// a classic survey of the demo web.
#pragma once

#include <string>
#include <string_view>

#include "demo/synthetic_web.h"

namespace corvane::demo {

// The registrable domain of a population site: its host without the
// subdomain ("shop.amberworks.co.uk" -> "amberworks.co.uk").
std::string RegistrableDomainOf(const SyntheticWeb& web, std::uint32_t site);

// "rank,domain" rows, CRLF-ended, rank 1 first: every site whose traffic
// rank (SyntheticWeb::TrafficRank of its host) is within the top million,
// at that rank, or the next free one when two sites share it.
std::string TrancoListCsv(const SyntheticWeb& web);
// A zip archive holding the list above as "top-1m.csv". Throws
// std::runtime_error should the archive not be made.
std::string TrancoListZip(const SyntheticWeb& web);
// The list's permanent ID, five letters and digits.
std::string TrancoListId(const SyntheticWeb& web);

// The header line and one row per site with inbound links, ordered by
// RefSubNets (SyntheticWeb::InboundTotal of its host), most first.
std::string MajesticListCsv(const SyntheticWeb& web);

}  // namespace corvane::demo
