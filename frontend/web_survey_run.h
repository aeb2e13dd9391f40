// A survey of today's web run by a front end: the fetch scheduler's workers
// fetch the result pages and home pages, the calling thread hands what they
// bring to the survey, which writes the results table. Also what such a
// survey needs from the front end's settings: its profile, the base address
// of the search source and the rank lists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"
#include "frontend/fetch_scheduler.h"
#include "frontend/scheduled_survey.h"
#include "frontend/settings.h"
#include "lists/rank_lists.h"
#include "search/search_profile.h"
#include "search/web_survey.h"

namespace corvane::frontend {

class PageFetcher;

// A web survey's fetch issuer over a scheduler that fetches whole requests.
class ScheduledWebFetches : public search::WebFetchIssuer {
  public:
    explicit ScheduledWebFetches(FetchScheduler& scheduler) : scheduler_(scheduler) {}
    void Issue(std::uint64_t ticket, const search::SearchRequest& request) override;
    void CancelAll() override;

  private:
    FetchScheduler& scheduler_;
};

net::FetchRequest ToFetchRequest(const search::SearchRequest& request);
// What a finished fetch tells the survey. A failure that left the fetch
// function (no network client could be set up) counts as a failed exchange
// before any response.
search::WebFetched ToWebFetched(FetchCompletion completion);
// Hands every completion to the survey; the number handed.
std::size_t DeliverWebCompletions(search::WebSurvey& survey,
                                  std::vector<FetchCompletion> completions);

struct WebSurveyEnd {
    bool Stopped = false;
    // Why the run could not give a table (block page, nothing matched, the
    // first page failed); the table then keeps the previous survey.
    std::string Failure;
    // What the user should hear besides: a missing or stale list, a later
    // page that failed.
    std::vector<std::string> Notes;
};

// Runs one today's-web survey to its end on this thread. Throws
// search::ProfileError when the profile cannot make its first request.
WebSurveyEnd RunWebSurvey(engine::ResultsTable& table, FetchScheduler& scheduler,
                          const search::SearchProfile& profile, const lists::RankLists& lists,
                          const std::string& base, const std::string& text,
                          std::int32_t resultCount, std::int32_t skip, engine::SurveyMode mode,
                          const ScheduledSurveyHooks& hooks = {});

// The profile the settings name; nothing for the classic survey. Throws
// search::ProfileError for a profile that cannot be read.
std::optional<search::SearchProfile> SurveyProfile(const FrontEndSettings& settings);

// The base address of the profile's search source: the settings' SearXNG
// address for a profile that needs one, else the profile's own; in demo
// mode without an address given, the demo web's.
std::string SurveyBase(const FrontEndSettings& settings, const PageFetcher& fetcher,
                       const search::SearchProfile& profile);

// The rank lists of a survey: the user's lists folder, replaced for this
// run by --tranco and --majestic files; in demo mode, for a list not given
// as a file, the demo web's synthetic one. Throws lists::ListError for a
// given file that is not a list.
lists::RankLists SurveyLists(const FrontEndSettings& settings, const PageFetcher& fetcher);

}  // namespace corvane::frontend
