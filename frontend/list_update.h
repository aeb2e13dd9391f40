// Downloads the rank lists with the project's own client and imports them:
// the Tranco top-1M zip (and its permanent list ID) and the Majestic
// Million CSV, each replacing the old one atomically once it is whole.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lists/rank_lists.h"
#include "net/fetch_cancel.h"

namespace corvane::frontend {

class PageFetcher;

// Where the lists are downloaded from.
inline constexpr const char* kTrancoListUrl = "https://tranco-list.eu/top-1m.csv.zip";
inline constexpr const char* kTrancoIdUrl = "https://tranco-list.eu/top-1m-id";
inline constexpr const char* kMajesticListUrl =
    "https://downloads.majestic.com/majestic_million.csv";

struct ListDownloadProgress {
    lists::ListKind Kind = lists::ListKind::Tranco;
    std::int64_t Received = 0;
    std::int64_t Total = -1;  // -1: the server did not say
};

struct ListUpdateOutcome {
    lists::ListKind Kind = lists::ListKind::Tranco;
    bool Updated = false;
    std::string Message;  // "tranco: 1000000 rows (list ID X)" or the failure
};

// Where the lists are downloaded from; a list with an empty address is
// left as it is (and has no outcome).
struct ListSources {
    std::string TrancoUrl = kTrancoListUrl;
    std::string TrancoIdUrl = kTrancoIdUrl;  // empty: no list ID asked for
    std::string MajesticUrl = kMajesticListUrl;
};

// The published addresses, or those the environment names instead (a
// mirror, a test's server): CORVANE_TRANCO_URL, CORVANE_TRANCO_ID_URL,
// CORVANE_MAJESTIC_URL.
ListSources ListSourcesFromEnvironment();

// Downloads and imports both lists into `folder` (empty: the default
// folder) through `fetcher` (its proxy and TLS settings). `progress` runs on
// the calling thread as bytes arrive. A failed download leaves the old list
// in place. `cancel` may end it from another thread. The sources are those
// of ListSourcesFromEnvironment. A fetcher in demo mode asks its demo web
// for the https addresses over http.
std::vector<ListUpdateOutcome> UpdateLists(
    const std::string& folder, PageFetcher& fetcher,
    const std::function<void(const ListDownloadProgress&)>& progress = {},
    net::FetchCancel* cancel = nullptr);

// The same from the given sources. Each list is downloaded into a
// temporary file in `folder` (never held whole in memory), checked to be a
// list of its kind, then imported; the fetcher's time limit for a whole
// fetch applies to each download when it was set other than the default,
// else a download may take 30 minutes as long as bytes keep coming.
std::vector<ListUpdateOutcome> UpdateLists(
    const std::string& folder, PageFetcher& fetcher, const ListSources& sources,
    const std::function<void(const ListDownloadProgress&)>& progress = {},
    net::FetchCancel* cancel = nullptr);

}  // namespace corvane::frontend
