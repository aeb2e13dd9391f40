// A survey of today's web, as data: the result pages a profile asks for,
// the rows they yield, and the figures of each row from the rank lists and
// its home page. No threads and no sockets: the owner issues the fetches
// (WebFetchIssuer), hands back what each one brought (Deliver), and the
// survey writes the results table. Every call happens on the owner's thread.
//
// For query text T, result count N and skip S (a negative S counts as 0):
// result pages 1, 2, ... are fetched one after another until S + N distinct
// URLs are in, a page adds none, or the profile's page limit is reached; the
// first S are dropped; row i has the URL's host and rank S + i; Inbound
// Links is the Majestic RefSubNets of the host or its registrable domain
// ("0" without); Outbound Links counts the absolute anchors of
// "https://HOST/" (or "http://HOST/" when the https fetch failed before the
// origin answered; 0 when both fail); Link's Value is the classic figure
// with rank + 1 as divisor; Traffic Rank is the Tranco rank of the host or
// its registrable domain ("999999999" without).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "engine/results_table.h"
#include "engine/survey_run.h"
#include "lists/rank_lists.h"
#include "search/search_profile.h"
#include "search/search_request.h"

namespace corvane::search {

// The column captions of a today's-web survey: the classic ones with
// "Traffic Rank" as the sixth.
using engine::kWebColumnCaptions;

// What one fetch brought back.
struct WebFetched {
    std::string Body;
    std::int32_t Status = 0;  // final status code; 0 when no response arrived
    bool Failed = false;      // the exchange did not complete
    // Nothing came from the origin: the name, the connect, the proxy tunnel
    // or the TLS handshake failed.
    bool FailedBeforeResponse = false;
    std::string FinalUrl;
    std::string Message;  // the failure in words
};

class WebFetchIssuer {
  public:
    virtual ~WebFetchIssuer() = default;
    // Starts a fetch with the modern policy; what it brings comes back
    // through WebSurvey::Deliver with the same ticket, never from inside
    // this call.
    virtual void Issue(std::uint64_t ticket, const SearchRequest& request) = 0;
    // Cancels every fetch issued and not yet delivered.
    virtual void CancelAll() = 0;
};

// The text sent for a query: keyword mode as typed; domain mode
// "\"D\" -site:D" with D from NormaliseDomain.
std::string WebQueryText(const std::string& text, engine::SurveyMode mode);
// A typed domain without scheme, path, port or trailing dot, lower-cased.
std::string NormaliseDomain(std::string_view typed);
// A result URL's host, lower-cased, without port or trailing dot; empty when
// the URL has none.
std::string HostOfResultUrl(std::string_view url);

class WebSurvey {
  public:
    // Everything given must outlive the survey. `base` replaces the
    // profile's base address when not empty (a SearXNG instance).
    WebSurvey(engine::ResultsTable& table, WebFetchIssuer& issuer, const SearchProfile& profile,
              const lists::RankLists& lists, std::string base = {});
    ~WebSurvey();
    WebSurvey(const WebSurvey&) = delete;
    WebSurvey& operator=(const WebSurvey&) = delete;

    // Issues the request of the first result page. The table keeps what it
    // shows until the result list is complete. Throws ProfileError when the
    // profile cannot make a request (no base address).
    void Start(const std::string& text, std::int32_t resultCount, std::int32_t skip,
               engine::SurveyMode mode);
    void Deliver(std::uint64_t ticket, WebFetched fetched);
    // Ends the run at once: fetches in flight are cancelled, complete rows
    // stay, incomplete ones are removed, nothing more is written.
    void Stop();

    bool Finished() const;
    bool Stopped() const;
    // How a finished run ended badly ("the search source answered with a
    // block page", "the results page matched nothing", the fetch failure of
    // the first page); empty otherwise. The table then keeps the previous
    // survey.
    const std::string& FailureMessage() const;
    // Things the user should hear that did not end the run (a later page
    // blocked, a list missing), each once.
    const std::vector<std::string>& Notes() const;
    std::size_t CompletedRows() const;
    std::size_t TotalRows() const;

  private:
    struct State;
    State* state_;
};

}  // namespace corvane::search
